#include "app/DialogUnits.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QRawFont>

#include "app/TemplateDialog.h"

namespace {

struct Conversion {
  int charWidth;
  int fontHeight;
  DialogRect rect;
  QRect pixels;
};

TEST(DialogUnitsTest, ConvertsEachEdgeRoundingHalvesUp) {
  const Conversion cases[] = {
      // 37 * 6 / 4 = 55.5 -> 56; 7 * 12 / 8 = 10.5 -> 11; right 148 * 6 / 4 = 222;
      // bottom 64 * 12 / 8 = 96.
      {6, 12, {37, 7, 111, 57}, QRect(56, 11, 166, 85)},
      // Exact multiples stay exact.
      {8, 16, {4, 8, 40, 16}, QRect(8, 16, 80, 32)},
      // 7 * 7 / 4 = 12.25 -> 12 and 14 * 7 / 4 = 24.5 -> 25: the width is what lies
      // between the converted edges (13), not the converted width (12.25 -> 12).
      {7, 14, {7, 7, 7, 3}, QRect(12, 12, 13, 6)},
      {7, 14, {0, 0, 0, 0}, QRect(0, 0, 0, 0)},
  };
  for (const Conversion& c : cases) {
    EXPECT_EQ(DialogUnits(c.charWidth, c.fontHeight).ToPixels(c.rect), c.pixels)
        << c.charWidth << "x" << c.fontHeight << " at " << c.rect.x << "," << c.rect.y;
  }
}

TEST(DialogUnitsTest, AdjacentControlsStayAdjacent) {
  const DialogUnits units(7, 15);
  for (int x = 0; x < 40; ++x) {
    const QRect left = units.ToPixels(DialogRect{x, x, 5, 5});
    const QRect right = units.ToPixels(DialogRect{x + 5, x + 5, 5, 5});
    EXPECT_EQ(left.right() + 1, right.left()) << x;
    EXPECT_EQ(left.bottom() + 1, right.top()) << x;
  }
}

TEST(DialogUnitsTest, BaseUnitsComeFromTheFont) {
  const QFont font = TemplateDialog::TemplateFont(kMainDialogTemplate);
  const DialogUnits units(font);
  const QFontMetrics metrics(font);
  EXPECT_EQ(units.fontHeight(), metrics.ascent() + metrics.descent());
  // The average of the letters lies between the narrowest and the widest one.
  EXPECT_GE(units.averageCharWidth(), metrics.horizontalAdvance(QLatin1Char('i')));
  EXPECT_LE(units.averageCharWidth(), metrics.horizontalAdvance(QLatin1Char('W')));
}

TEST(DialogUnitsTest, TemplateFontDrawsHangul) {
  const QFont font = TemplateDialog::TemplateFont(kMainDialogTemplate);
  EXPECT_EQ(font.pointSize(), 9);
  const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Any);
  for (char32_t c : {U'사', U'용', U'여', U'부', U'정', U'보', U'확', U'인', U'M'}) {
    EXPECT_TRUE(raw.supportsCharacter(c))
        << raw.familyName().toStdString() << " lacks U+" << std::hex << static_cast<unsigned>(c);
  }
}

}  // namespace
