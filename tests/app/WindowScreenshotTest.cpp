// Pictures of the window for a reviewer, rendered off screen into the build's
// screenshots folder: at start, in the middle of a Target Write on the
// emulated POD, and after a failed write.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include "app/CProgrammerDlg.h"
#include "tests/app/WindowTestSupport.h"
#include "widgets/CMessageLabel.h"
#include "widgets/CPercentProgressBar.h"

namespace {

const QString kFolder = QStringLiteral(BRONTAFLEX_SCREENSHOT_DIR);

// Takes its picture the first time the bar passes half way while the flash is written.
class WriteCapturingDlg : public CProgrammerDlg {
 public:
  using CProgrammerDlg::CProgrammerDlg;
  QImage midWrite;
  bool buttonsDisabledThen = false;
  double fractionThen = 0;

  void ShowStatus(const std::string& text, bool error) override {
    CProgrammerDlg::ShowStatus(text, error);
    writing_ = text == "Writing Flash Memory...";
  }
  int32_t SetBarPos(int32_t position) override {
    const int32_t previous = CProgrammerDlg::SetBarPos(position);
    auto* bar = Control<CPercentProgressBar>(IDC_PROGRESS);
    const double fraction =
        double(bar->BarPos() - bar->BarLower()) / (bar->BarUpper() - bar->BarLower());
    if (writing_ && midWrite.isNull() && fraction >= 0.5) {
      fractionThen = fraction;
      buttonsDisabledThen = !Control<QWidget>(IDC_TARGET_WRITE)->isEnabled() &&
                            !Control<QWidget>(IDC_EXIT)->isEnabled();
      midWrite = grab().toImage();
    }
    return previous;
  }

 private:
  bool writing_ = false;
};

// Pixels of the status line that are mostly red.
int RedInk(const QImage& window, const QRect& label) {
  int red = 0;
  for (int y = label.top(); y <= label.bottom(); ++y) {
    for (int x = label.left(); x <= label.right(); ++x) {
      const QColor c = window.pixelColor(x, y);
      red += c.red() > 150 && c.green() < 100 && c.blue() < 100;
    }
  }
  return red;
}

void Save(const QImage& image, const QString& name) {
  ASSERT_TRUE(QDir().mkpath(kFolder));
  const QString path = kFolder + '/' + name;
  ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
  EXPECT_EQ(QImage(path).size(), image.size());
}

TEST(WindowScreenshotTest, AtStartDuringATargetWriteAndAfterAnError) {
  EmptySettings empty;
  ScratchFiles files;
  CoffWriter program;
  program.Add(".text", 0x3E8000, Pattern(6000, 0));
  program.Add(".econst", 0x3F4000, Pattern(800, 0x3000), kCoffData);
  program.Add("codestart", 0x3F7FF6, {0x0040, 0x0000});
  const QString path = files.Coff("motor_ctl.out", program);
  QSettings().setValue("File List/Recent File0", path);
  QSettings().setValue("Main Configuration/EEP File Name", "MOTOR");

  EmulatorDriver* emulator = nullptr;
  WriteCapturingDlg dlg(OnEmulator(emulator));
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  const QImage start = dlg.grab().toImage();
  Save(start, "window-start.png");

  dlg.Control<QAbstractButton>(IDC_TARGET_WRITE)->click();
  ASSERT_FALSE(dlg.midWrite.isNull()) << "the write never passed half way";
  EXPECT_TRUE(dlg.buttonsDisabledThen);
  EXPECT_LT(dlg.fractionThen, 0.9);
  Save(dlg.midWrite, "window-target-write.png");
  EXPECT_TRUE(
      dlg.Control<CMessageLabel>(IDC_MESSAGE)->LabelText().startsWith("Flash Write Completed - "));

  // A secured target and the wrong keys.
  emulator->Target().Secure({0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888});
  dlg.Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(true);
  dlg.Control<QLineEdit>(IDC_KEY0)->setText("1234");
  dlg.Control<QAbstractButton>(IDC_TARGET_WRITE)->click();
  const QImage failed = dlg.grab().toImage();
  Save(failed, "window-error.png");
  const QRect label = dlg.Control<QWidget>(IDC_MESSAGE)->geometry();
  EXPECT_EQ(RedInk(start, label), 0);
  EXPECT_GT(RedInk(failed, label), 0);
}

}  // namespace
