// Converts dialog units to pixels from a font's metrics, the way dialog
// templates are laid out: x in quarters of the average character width, y in
// eighths of the font height.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "resources/DialogTemplates.h"

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  // Base units given directly, in pixels.
  DialogUnits(int averageCharWidth, int fontHeight);

  int averageCharWidth() const { return averageCharWidth_; }
  int fontHeight() const { return fontHeight_; }

  // Each edge is converted on its own, so adjacent controls stay adjacent.
  QRect ToPixels(const DialogRect& rect) const;
  QSize ToPixels(int width, int height) const;

 private:
  int X(int x) const;
  int Y(int y) const;

  int averageCharWidth_;
  int fontHeight_;
};
