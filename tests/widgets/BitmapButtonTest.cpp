#include "resources/ResourceIds.h"
#include "tests/widgets/WidgetProbe.h"
#include "widgets/COXBitmapButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>
#include <set>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);

// One of the window's buttons: "POD Write" with its picture, at a size the
// window gives its buttons.
class BitmapButton : public ::testing::Test {
 protected:
  void SetUp() override {
    host.resize(200, 100);
    button = new COXBitmapButton(&host);
    button->setText("POD Write");
    button->setGeometry(10, 10, 93, 36);
    ASSERT_TRUE(button->SetButtonBitmap(kBitmapPodWrite, false, kWhite));
  }
  void ShowFocused() {
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
  }
  QColor Role(QPalette::ColorRole role) const {
    return button->palette().color(QPalette::Active, role);
  }
  // Expects every opaque pixel of `picture` at `topLeft` in `image`.
  static void ExpectPicture(const QImage& image, const QPixmap& picture, QPoint topLeft) {
    const QImage pixels = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < pixels.height(); ++y) {
      for (int x = 0; x < pixels.width(); ++x) {
        if (qAlpha(pixels.pixel(x, y)) == 255) {
          ++opaque;
          ASSERT_EQ(image.pixel(topLeft + QPoint(x, y)), pixels.pixel(x, y) | 0xFF000000u)
              << x << "," << y;
        }
      }
    }
    EXPECT_GT(opaque, 0);
  }

  QWidget host;
  COXBitmapButton* button = nullptr;
};

TEST_F(BitmapButton, PictureAtTheLeftAndCaptionCentredInTheRest) {
  const int textHeight = QFontMetrics(button->font()).height();
  for (const QSize size : {QSize(93, 36), QSize(108, 46), QSize(124, 40)}) {
    button->resize(size);
    const int w = size.width();
    const int h = size.height();
    const COXBitmapButton::Layout released = button->LayoutButton(false);
    EXPECT_EQ(released.picture, QRect(5, (h - 16) / 2, 16, 16)) << w << "x" << h;
    // The caption's band runs from x 26 to w - 7.
    EXPECT_EQ(released.caption, QRect(26, (h - textHeight) / 2, w - 33, textHeight))
        << w << "x" << h;
    const COXBitmapButton::Layout pressed = button->LayoutButton(true);
    EXPECT_EQ(pressed.picture, released.picture.translated(2, 2));
    EXPECT_EQ(pressed.caption, released.caption.translated(2, 2));
  }
}

TEST_F(BitmapButton, CrampedButtonsShrinkThePictureBeforeTheCaption) {
  // 22 pixels high: the caption's height is what the margins leave, and the
  // picture is cut to the button's height less its margins.
  button->resize(62, 22);
  COXBitmapButton::Layout layout = button->LayoutButton(false);
  EXPECT_EQ(layout.picture, QRect(5, 5, 16, 12));
  EXPECT_EQ(layout.caption, QRect(26, 6, 29, 10));
  // Too narrow for a caption: the picture takes what is left of the width.
  button->resize(30, 36);
  layout = button->LayoutButton(false);
  EXPECT_EQ(layout.picture, QRect(5, 10, 13, 16));
  EXPECT_TRUE(layout.caption.isEmpty());
}

TEST_F(BitmapButton, CaptionEndsAtTheFirstLineFeed) {
  COXBitmapButton shortCaption;
  shortCaption.setText("POD");
  shortCaption.resize(button->size());
  ASSERT_TRUE(shortCaption.SetButtonBitmap(kBitmapPodWrite, false, kWhite));
  button->setText("POD\nWrite");
  EXPECT_EQ(button->Caption(), "POD");
  EXPECT_EQ(Snapshot(*button), Snapshot(shortCaption));
}

TEST_F(BitmapButton, EnabledButtonShowsPictureAndBlackCaption) {
  const QImage image = Snapshot(*button);
  const COXBitmapButton::Layout layout = button->LayoutButton(false);
  ExpectPicture(image, button->NormalPicture(), layout.picture.topLeft());
  EXPECT_GT(CountColor(image, layout.caption, kBlack), 0);
  EXPECT_NE(image.pixelColor(0, 0), kBlack) << "no focus frame without the focus";
}

TEST_F(BitmapButton, DisabledButtonShowsEmbossedPictureAndCaption) {
  EXPECT_FALSE(button->EnableButton(false));
  EXPECT_TRUE(button->EnableButton(false)) << "reports that it was disabled already";
  const QImage image = Snapshot(*button);
  const COXBitmapButton::Layout layout = button->LayoutButton(false);
  ExpectPicture(image, button->DisabledPicture(), layout.picture.topLeft());
  EXPECT_EQ(CountColor(image, layout.picture, kRed), 0);
  EXPECT_EQ(CountColor(image, layout.caption, kBlack), 0);
  EXPECT_GT(CountColor(image, layout.caption, Role(QPalette::Dark)), 0);
}

TEST_F(BitmapButton, DisabledPictureKeepsTheFaceColourOfItsMaking) {
  QPalette palette = button->palette();
  const QColor face(200, 180, 150);
  palette.setColor(QPalette::Button, face);
  button->setPalette(palette);
  ASSERT_TRUE(button->SetButtonBitmap(kBitmapLoad, false, kWhite));
  const QImage normal = button->NormalPicture().toImage().convertToFormat(QImage::Format_ARGB32);
  const QImage disabled =
      button->DisabledPicture().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(disabled.size(), normal.size());
  const std::set<QRgb> emboss = {face.rgb(), Role(QPalette::Light).rgb(),
                                 Role(QPalette::Dark).rgb()};
  std::set<QRgb> seen;
  for (int y = 0; y < normal.height(); ++y) {
    for (int x = 0; x < normal.width(); ++x) {
      const bool opaque = qAlpha(normal.pixel(x, y)) != 0;
      ASSERT_EQ(qAlpha(disabled.pixel(x, y)) != 0, opaque) << x << "," << y;
      if (opaque) {
        ASSERT_TRUE(emboss.count(disabled.pixel(x, y))) << x << "," << y;
        seen.insert(disabled.pixel(x, y));
      }
    }
  }
  EXPECT_EQ(seen, emboss) << "the folder shows shadow, highlight and face";

  palette.setColor(QPalette::Button, QColor(90, 90, 200));
  button->setPalette(palette);
  EXPECT_EQ(button->DisabledPicture().toImage().convertToFormat(QImage::Format_ARGB32), disabled);
}

TEST_F(BitmapButton, FocusedButtonHasBlackFrameAndDottedRectangle) {
  ShowFocused();
  const QImage image = Snapshot(*button);
  const int w = button->width();
  const int h = button->height();
  for (const QPoint corner :
       {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
    EXPECT_EQ(image.pixelColor(corner), kBlack) << corner.x() << "," << corner.y();
  }
  EXPECT_NE(image.pixelColor(w / 2, 1), kBlack);
  // The dotted line along the top of the focus rectangle, 4 pixels in.
  const int span = w - 8;
  const int dots = CountColor(image, QRect(4, 4, span, 1), kBlack);
  EXPECT_GE(dots, span * 2 / 5);
  EXPECT_LE(dots, span * 3 / 5);
  EXPECT_EQ(CountColor(image, QRect(6, 3, w - 12, 1), kBlack), 0);
}

TEST_F(BitmapButton, PressedButtonMovesItsContentAndShowsTheShadowFrame) {
  ShowFocused();
  button->setDown(true);
  const QImage image = Snapshot(*button);
  const int w = button->width();
  const int h = button->height();
  EXPECT_EQ(image.pixelColor(w / 2, 0), kBlack);
  EXPECT_EQ(image.pixel(w / 2, 1), Role(QPalette::Dark).rgb());
  EXPECT_EQ(image.pixel(1, h / 2), Role(QPalette::Dark).rgb());
  ExpectPicture(image, button->NormalPicture(), QPoint(7, (h - 16) / 2 + 2));
}

TEST_F(BitmapButton, InputIsDroppedWhileDisabled) {
  ShowFocused();
  QSignalSpy clicks(button, &QAbstractButton::clicked);
  button->EnableButton(false);
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::keyClick(button, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 0);
  button->EnableButton(true);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 1);
}

TEST_F(BitmapButton, MissingBitmapLeavesCaptionAlone) {
  EXPECT_FALSE(button->SetButtonBitmap(999, false, kWhite));
  EXPECT_FALSE(button->HasPictures());
  const int textHeight = QFontMetrics(button->font()).height();
  const COXBitmapButton::Layout layout = button->LayoutButton(false);
  EXPECT_TRUE(layout.picture.isEmpty());
  EXPECT_EQ(layout.caption, QRect(7, (36 - textHeight) / 2, 93 - 14, textHeight));
  EXPECT_GT(CountColor(Snapshot(*button), layout.caption, kBlack), 0);
}

TEST_F(BitmapButton, ResizeToContentFitsTheCaptionExactly) {
  ASSERT_TRUE(button->SetButtonBitmap(kBitmapPodWrite, true, kWhite));
  EXPECT_EQ(button->size(), button->sizeHint());
  EXPECT_EQ(button->LayoutButton(false).caption.width(),
            QFontMetrics(button->font()).horizontalAdvance("POD Write"));
}

}  // namespace
