// Helpers for the widget tests: counting paint events and reading what a
// widget drew.
#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QWidget>

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::Paint;
    return false;
  }
};

// The widget as it paints itself, in 32-bit RGB.
inline QImage Snapshot(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Number of pixels inside `area` of exactly `color`.
inline int CountColor(const QImage& image, const QRect& area, const QColor& color) {
  int count = 0;
  const QRect clipped = area & image.rect();
  for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
    for (int x = clipped.left(); x <= clipped.right(); ++x) {
      count += image.pixelColor(x, y).rgb() == color.rgb();
    }
  }
  return count;
}

// Number of pixels inside `area` that differ from `color`.
inline int CountOther(const QImage& image, const QRect& area, const QColor& color) {
  return (area & image.rect()).width() * (area & image.rect()).height() -
         CountColor(image, area, color);
}
