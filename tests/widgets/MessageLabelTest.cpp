#include "tests/widgets/WidgetProbe.h"
#include "widgets/CMessageLabel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

// A label set up the way the window sets up its status line.
class StatusLine : public ::testing::Test {
 protected:
  void SetUpLabel(QSize size) {
    label.setText("Message");
    label.resize(size);
    label.SetLabelTextColor(kBlack, true);
    label.SetLabelBkColor(kGreen, true);
    label.FitLabelToText(true);
  }
  void SetUp() override { SetUpLabel({300, 24}); }
  void ShowStatus(const QString& text, bool error) {
    label.SetLabelTextColor(error ? kRed : kBlack, true);
    label.SetLabelText(text);
  }
  // Columns of the label in which some pixel differs from the background.
  std::vector<int> InkedColumns() {
    const QImage image = Snapshot(label);
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
      if (CountOther(image, QRect(x, 0, 1, image.height()), kGreen) > 0) {
        columns.push_back(x);
      }
    }
    return columns;
  }

  CMessageLabel label;
};

TEST_F(StatusLine, ErrorIsRedOnGreenAndTheNextMessageBlack) {
  ShowStatus("Fail to connect POD", true);
  QImage image = Snapshot(label);
  EXPECT_EQ(image.pixelColor(0, 0), kGreen);
  EXPECT_EQ(image.pixelColor(299, 23), kGreen);
  EXPECT_GT(CountColor(image, image.rect(), kRed), 0);
  EXPECT_EQ(CountColor(image, image.rect(), kBlack), 0);

  ShowStatus("POD is connected", false);
  image = Snapshot(label);
  EXPECT_GT(CountColor(image, image.rect(), kBlack), 0);
  EXPECT_EQ(CountColor(image, image.rect(), kRed), 0);
}

TEST_F(StatusLine, EmptyTextShowsTheWindowTextAgain) {
  const QImage windowText = Snapshot(label);
  ShowStatus("Reading COFF file is successful", false);
  ASSERT_NE(Snapshot(label), windowText);

  ShowStatus("", false);
  EXPECT_EQ(Snapshot(label), windowText);
  EXPECT_EQ(label.LabelText(), "Message");

  label.setText("");
  ShowStatus("", false);
  const QImage blank = Snapshot(label);
  EXPECT_EQ(CountOther(blank, blank.rect(), kGreen), 0);
}

TEST_F(StatusLine, SettingTheTextAloneDoesNotRepaint) {
  label.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
  QApplication::processEvents();
  PaintCounter paints(&label);
  ShowStatus("Erasing Flash", false);
  QApplication::processEvents();
  EXPECT_EQ(paints.count, 0);
  label.repaint();
  EXPECT_EQ(paints.count, 1);
}

TEST_F(StatusLine, LongTextIsCentredAndCutInsideTheMargin) {
  SetUpLabel({80, 24});
  ShowStatus(QString(40, 'W'), false);
  std::vector<int> inked = InkedColumns();
  ASSERT_FALSE(inked.empty());
  // Cut at both sides, two pixels in from the edges.
  EXPECT_EQ(inked.front(), 2);
  EXPECT_EQ(inked.back(), 77);

  // A lone letter in the middle of a long run of blanks stays in the middle.
  ShowStatus(QString(60, ' ') + "W" + QString(60, ' '), false);
  inked = InkedColumns();
  ASSERT_FALSE(inked.empty());
  EXPECT_GT(inked.front(), 25);
  EXPECT_LT(inked.back(), 55);
}

TEST_F(StatusLine, DrawingRectangleIsFixedWhenFitted) {
  label.resize(600, 24);
  QImage image = Snapshot(label);
  EXPECT_EQ(image.pixelColor(100, 0), kGreen);
  EXPECT_NE(image.pixelColor(450, 0), kGreen);

  CMessageLabel unfitted;
  unfitted.SetLabelBkColor(kGreen, true);
  unfitted.resize(300, 24);
  unfitted.FitLabelToText(false);
  unfitted.resize(600, 24);
  image = Snapshot(unfitted);
  EXPECT_EQ(image.pixelColor(450, 0), kGreen);
}

}  // namespace
