#include "app/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace {

// a * b / c rounded to the nearest whole pixel, halves up, as the platform's
// dialog mapping does; dialog units are never negative.
int MulDivRounded(int a, int b, int c) {
  return (a * b + c / 2) / c;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded to a whole pixel.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  averageCharWidth_ = (letters / 26 + 1) / 2;
  fontHeight_ = metrics.height();
}

DialogUnits::DialogUnits(int averageCharWidth, int fontHeight)
    : averageCharWidth_(averageCharWidth), fontHeight_(fontHeight) {}

int DialogUnits::X(int x) const {
  return MulDivRounded(x, averageCharWidth_, 4);
}

int DialogUnits::Y(int y) const {
  return MulDivRounded(y, fontHeight_, 8);
}

QRect DialogUnits::ToPixels(const DialogRect& rect) const {
  const int left = X(rect.x);
  const int top = Y(rect.y);
  return QRect(left, top, X(rect.x + rect.width) - left, Y(rect.y + rect.height) - top);
}

QSize DialogUnits::ToPixels(int width, int height) const {
  return QSize(X(width), Y(height));
}
