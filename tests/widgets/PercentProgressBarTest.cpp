#include "tests/widgets/WidgetProbe.h"
#include "widgets/CPercentProgressBar.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QTest>
#include <limits>

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

class ProgressBar : public ::testing::Test {
 protected:
  QColor Highlight() const { return bar.palette().color(QPalette::Active, QPalette::Highlight); }
  QColor Base() const { return bar.palette().color(QPalette::Active, QPalette::Base); }
  void Show(QSize size) {
    bar.resize(size);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QApplication::processEvents();
  }
  // Width of the bar along the top row, where the text never reaches.
  int PaintedBarWidth() {
    const QImage image = Snapshot(bar);
    int width = 0;
    while (width < image.width() && image.pixelColor(width, 0) == Highlight()) {
      ++width;
    }
    EXPECT_EQ(CountColor(image, QRect(width, 0, image.width() - width, 1), Base()),
              image.width() - width);
    return width;
  }

  CPercentProgressBar bar;
};

TEST_F(ProgressBar, HalfWayOnAnOddWidthFillsTruncatedHalf) {
  bar.resize(201, 40);
  bar.SetBarRange(0, 100);
  bar.SetBarPos(50);
  EXPECT_EQ(PaintedBarWidth(), 100);
  EXPECT_EQ(bar.DisplayText(), "50%");
}

TEST_F(ProgressBar, PercentageIsTruncatedNotRounded) {
  struct Case {
    int32_t lower, upper, position;
    const char* text;
  };
  const Case cases[] = {
      {0, 3, 1, "33%"},
      {0, 3, 2, "66%"},
      {0, 100, 100, "100%"},
      {0, 100, 150, "150%"},
      {10, 20, 5, "-50%"},
      {-100, 100, 0, "50%"},
      // Far past the end the figure saturates instead of overflowing.
      {0, 1, kMax, "2147483647%"},
  };
  for (const Case& c : cases) {
    bar.SetBarRange(c.lower, c.upper);
    bar.SetBarPos(c.position);
    EXPECT_EQ(bar.DisplayText(), c.text) << c.lower << ".." << c.upper << " at " << c.position;
  }
}

TEST_F(ProgressBar, TextIsInvertedOnEitherSideOfTheEdge) {
  bar.resize(201, 40);
  bar.SetText("WWWWWWWWWW");
  bar.SetBarPos(50);
  const QImage image = Snapshot(bar);
  const QRect barSide(0, 0, 100, 40);
  const QRect restSide(100, 0, 101, 40);
  // The half of the text over the bar is in the background colour and the
  // half over the background in the bar colour.
  EXPECT_GT(CountColor(image, barSide, Base()), 0);
  EXPECT_GT(CountColor(image, restSide, Highlight()), 0);
}

TEST_F(ProgressBar, RepaintsOnlyWhenTheBarGrowsByAPixel) {
  Show({256, 20});
  PaintCounter paints(&bar);
  bar.SetBarRange(0, 1024);
  EXPECT_EQ(paints.count, 0) << "setting the range repaints nothing";
  bar.SetBarPos(0);
  EXPECT_EQ(paints.count, 1);
  for (int32_t position = 1; position <= 3; ++position) {
    EXPECT_EQ(bar.StepBar(), position - 1);
  }
  EXPECT_EQ(paints.count, 1);
  bar.StepBar();
  EXPECT_EQ(paints.count, 2);
  bar.SetBarStep(3);
  bar.StepBar();  // 7: still one pixel
  EXPECT_EQ(paints.count, 2);
  bar.StepBar();  // 10: two pixels
  EXPECT_EQ(paints.count, 3);
  EXPECT_EQ(PaintedBarWidth(), 2);
}

TEST_F(ProgressBar, ResizeMakesTheNextPositionRepaint) {
  Show({256, 20});
  bar.SetBarRange(0, 1024);
  bar.SetBarPos(512);
  bar.resize(256, 30);  // same width, so the same bar width
  QApplication::processEvents();
  PaintCounter paints(&bar);
  EXPECT_EQ(bar.SetBarPos(512), 512);
  EXPECT_EQ(paints.count, 1);
  bar.SetBarPos(513);
  EXPECT_EQ(paints.count, 1);
}

TEST_F(ProgressBar, CustomTextReplacesThePercentageUntilCleared) {
  Show({256, 20});
  bar.SetBarPos(50);
  PaintCounter paints(&bar);
  bar.SetText("Erasing");
  QApplication::processEvents();
  EXPECT_EQ(bar.DisplayText(), "Erasing");
  EXPECT_EQ(bar.GetText(), "Erasing");
  EXPECT_EQ(paints.count, 1);

  bar.SetText("Erasing");
  QApplication::processEvents();
  EXPECT_EQ(paints.count, 1) << "the same text again invalidates nothing";

  bar.SetText(QString());
  QApplication::processEvents();
  EXPECT_EQ(bar.DisplayText(), "50%");
  EXPECT_EQ(bar.GetText(), "");
  EXPECT_EQ(paints.count, 2);
}

TEST_F(ProgressBar, EmptyRangeDrawsNothing) {
  bar.resize(100, 20);
  const QColor untouched(255, 0, 255);
  for (const auto& [lower, upper] : {std::pair{5, 5}, std::pair{10, 0}}) {
    bar.SetBarRange(lower, upper);
    bar.SetBarPos(5);
    QImage image(bar.size(), QImage::Format_RGB32);
    image.fill(untouched);
    bar.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(CountOther(image, image.rect(), untouched), 0) << lower << ".." << upper;
  }
}

TEST_F(ProgressBar, PositionsOutsideTheRangeFillAllOrNothing) {
  bar.resize(120, 30);
  bar.SetBarPos(150);
  EXPECT_EQ(PaintedBarWidth(), 120);
  bar.SetBarPos(-50);
  EXPECT_EQ(PaintedBarWidth(), 0);
  EXPECT_EQ(bar.DisplayText(), "-50%");

  bar.SetBarStep(5);
  bar.SetBarPos(kMax - 1);
  EXPECT_EQ(bar.StepBar(), kMax - 1);
  EXPECT_EQ(bar.StepBar(), kMax) << "stepping stops at the largest position";
  EXPECT_EQ(bar.BarPos(), kMax);
}

// Screen readers and code that asks QProgressBar for its value get the
// position as the bar draws it.
TEST_F(ProgressBar, ValueAndAccessibilityFollowThePosition) {
  struct Case {
    int32_t lower, upper, position;
    int value, maximum;
  };
  const Case cases[] = {
      {0, 1024, 3, 3, 1024},
      {-100, 100, -20, -20, 100},
      {0, 100, 150, 100, 100},  // past the end: full, as drawn
      {0, 100, -50, 0, 100},
      {10, 0, 5, 10, 10},  // an inverted range draws nothing: the base holds it empty
  };
  Show({256, 20});
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&bar);
  ASSERT_NE(accessible, nullptr);
  QAccessibleValueInterface* values = accessible->valueInterface();
  ASSERT_NE(values, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lower << ".." << c.upper << " at " << c.position);
    bar.SetBarRange(c.lower, c.upper);
    bar.SetBarPos(c.position);
    EXPECT_EQ(bar.minimum(), c.lower);
    EXPECT_EQ(bar.maximum(), c.maximum);
    EXPECT_EQ(bar.value(), c.value);
    EXPECT_EQ(values->currentValue().toInt(), c.value);
    EXPECT_EQ(values->maximumValue().toInt(), c.maximum);
    EXPECT_EQ(bar.BarPos(), c.position) << "the control keeps the position it was given";
  }
  bar.SetBarRange(0, 1024);
  bar.SetBarPos(8);
  bar.StepBar();
  EXPECT_EQ(bar.value(), 9);
}

}  // namespace
