// The buttons and the File Path box of a shown window, on an emulated POD:
// loading and the recent-file list, browsing, the refusals, Target Write and
// Reset, the POD's own copy, and the busy state while an operation runs.
#include <gtest/gtest.h>

#include <qpa/qwindowsysteminterface.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "app/CProgrammerDlg.h"
#include "tests/app/WindowTestSupport.h"
#include "widgets/CMessageLabel.h"
#include "widgets/COXBitmapButton.h"
#include "widgets/CPercentProgressBar.h"

namespace {

const QColor kRed(255, 0, 0);
constexpr int kOperationButtons[] = {IDC_LOAD,      IDC_TARGET_RESET, IDC_POD_INFO,    IDC_EXIT,
                                     IDC_POD_WRITE, IDC_POD_VERIFY,   IDC_TARGET_WRITE};

// A window that lets the test look at it while an operation reports progress.
class ObservedDlg : public CProgrammerDlg {
 public:
  using CProgrammerDlg::CProgrammerDlg;
  std::function<void()> onProgress;

  int32_t SetBarPos(int32_t position) override {
    const int32_t previous = CProgrammerDlg::SetBarPos(position);
    if (onProgress)
      onProgress();
    return previous;
  }
};

// What the window looked like at each progress step of an operation.
struct DuringOperation {
  int steps = 0;
  bool buttonsDisabled = true;
  bool waitCursor = true;
};

class WindowOperationsTest : public testing::Test {
 protected:
  void SetUp() override { Open(); }

  // A new window; unless `keepSettings`, it starts from empty settings and
  // not from what the window before it saved.
  void Open(bool keepSettings = false) {
    dlg_.reset();
    if (!keepSettings)
      EmptySettings();
    dlg_ = std::make_unique<ObservedDlg>(OnEmulator(emulator_));
    dlg_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg_.get()));
  }

  template <typename T>
  T* Control(int id) const {
    return dlg_->Control<T>(id);
  }
  QComboBox* FilePath() const { return Control<QComboBox>(IDC_FILE_PATH); }
  QString Message() const { return Control<CMessageLabel>(IDC_MESSAGE)->LabelText(); }
  bool MessageIsError() const {
    return Control<CMessageLabel>(IDC_MESSAGE)->LabelTextColor() == kRed;
  }
  QStringList ListedFiles() const {
    QStringList items;
    for (int i = 0; i < FilePath()->count(); ++i) items << FilePath()->itemText(i);
    return items;
  }
  const ProgrammerOperations& Ops() const { return *dlg_->Operations(); }

  void Click(int id) { QTest::mouseClick(Control<QAbstractButton>(id), Qt::LeftButton); }
  // Types `path` into the File Path box, as the user does, and presses Load.
  void TypeAndLoad(const QString& path) {
    FilePath()->lineEdit()->clear();
    QTest::keyClicks(FilePath()->lineEdit(), path);
    Click(IDC_LOAD);
  }
  // Runs the operation of button `id`, noting the window's state at each step.
  DuringOperation Run(int id) {
    DuringOperation during;
    dlg_->onProgress = [&] {
      ++during.steps;
      for (int button : kOperationButtons) {
        during.buttonsDisabled &= !Control<QWidget>(button)->isEnabled();
      }
      const QCursor* cursor = QApplication::overrideCursor();
      during.waitCursor &= cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    };
    Click(id);
    dlg_->onProgress = nullptr;
    return during;
  }
  // After an operation: the link closed, the bar at 0, no wait cursor, all
  // seven buttons enabled.
  void ExpectIdle() const {
    EXPECT_FALSE(emulator_->IsOpen());
    EXPECT_EQ(Control<CPercentProgressBar>(IDC_PROGRESS)->BarPos(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (int button : kOperationButtons) {
      EXPECT_TRUE(Control<QWidget>(button)->isEnabled()) << button;
    }
  }
  void ExpectMessage(const QString& pattern, bool error) const {
    EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                    .match(Message())
                    .hasMatch())
        << Message().toStdString() << " does not match " << pattern.toStdString();
    EXPECT_EQ(MessageIsError(), error) << Message().toStdString();
  }

  ScratchFiles files_;
  EmulatorDriver* emulator_ = nullptr;
  std::unique_ptr<ObservedDlg> dlg_;
};

TEST_F(WindowOperationsTest, LoadReadsTheTypedPathAndKeepsOrDropsTheImageByTheOutcome) {
  const QString good = files_.Coff("motor_ctl.out", FlashProgram());
  TypeAndLoad("  " + good + " ");
  ExpectMessage("Reading COFF file is successful", false);
  EXPECT_TRUE(Ops().imageLoaded());
  EXPECT_EQ(Ops().image().sectionCount(), 3);
  EXPECT_EQ(Ops().programName(), "motor_ct");
  EXPECT_EQ(dlg_->RecentFiles(), QStringList({good}));
  EXPECT_EQ(ListedFiles(), QStringList({good}));

  // A missing file changes nothing: the image stays usable.
  TypeAndLoad(files_.Folder() + "missing.out");
  ExpectMessage("The specified COFF file isn't exist", true);
  EXPECT_TRUE(Ops().imageLoaded());
  EXPECT_EQ(Ops().image().sectionCount(), 3);
  EXPECT_EQ(dlg_->RecentFiles(), QStringList({good}));

  // A file that is there but no COFF empties it.
  const QString text = files_.Write("readme.out", {'n', 'o', 't', ' ', 'c', 'o', 'f', 'f'});
  TypeAndLoad(text);
  ExpectMessage("The specified file is not COFF format", true);
  EXPECT_FALSE(Ops().imageLoaded());
  EXPECT_EQ(Ops().image().sectionCount(), 0);
  EXPECT_EQ(dlg_->RecentFiles(), QStringList({good}));

  // A COFF file for another CPU.
  CoffWriter otherCpu;
  otherCpu.TargetId(0x0099).Add(".text", 0x3E8000, Pattern(4, 0));
  TypeAndLoad(files_.Coff("c55.out", otherCpu));
  ExpectMessage("The specified file is not match with MCU", true);

  TypeAndLoad("   ");
  ExpectMessage("Please, specify COFF file to read", true);
}

TEST_F(WindowOperationsTest, RecentFilesKeepTheMostRecentFirstAndAtMostTen) {
  QStringList paths;
  for (int i = 0; i < 11; ++i) {
    paths << files_.Coff(QStringLiteral("p%1.out").arg(i), FlashProgram(static_cast<uint16_t>(i)));
  }
  for (int i = 0; i < 11; ++i) TypeAndLoad(paths[i]);
  QStringList expected;
  for (int i = 10; i > 0; --i) expected << paths[i];
  EXPECT_EQ(dlg_->RecentFiles(), expected) << "the oldest dropped";
  EXPECT_EQ(ListedFiles(), expected);

  // Loading a listed path again brings it to the head, once.
  TypeAndLoad(paths[5]);
  expected.removeOne(paths[5]);
  expected.prepend(paths[5]);
  EXPECT_EQ(dlg_->RecentFiles(), expected);
  EXPECT_EQ(ListedFiles(), expected);
  TypeAndLoad(paths[5]);
  EXPECT_EQ(dlg_->RecentFiles(), expected);

  // A pick from the list loads that entry at once and brings it to the head.
  const QString picked = expected[3];
  emit FilePath()->activated(3);
  ExpectMessage("Reading COFF file is successful", false);
  expected.removeOne(picked);
  expected.prepend(picked);
  EXPECT_EQ(dlg_->RecentFiles(), expected);
  EXPECT_EQ(ListedFiles(), expected);
  EXPECT_EQ(FilePath()->currentText(), picked);
  EXPECT_EQ(Ops().image().sections.front()->data[0],
            0x1000 + picked.mid(picked.lastIndexOf('p') + 1).chopped(4).toInt());
}

TEST_F(WindowOperationsTest, FirstLoadedFileLeavesTheTypedTextAsItWas) {
  const QString good = files_.Coff("a.out", FlashProgram());
  TypeAndLoad(" " + good);
  EXPECT_EQ(FilePath()->currentText(), " " + good);
  EXPECT_EQ(ListedFiles(), QStringList({good}));
}

TEST_F(WindowOperationsTest, BrowseOpensInTheRememberedFolderAndRemembersTheNewOneAtOnce) {
  ScratchFiles other;
  const QString chosen = other.Coff("picked.out", FlashProgram());
  dlg_.reset();  // saves its settings as it goes
  QSettings().setValue("Main Configuration/File Directory", files_.Folder());
  Open(true);  // reads the folder at start

  {
    // Cancelling changes nothing.
    ModalWatcher<QFileDialog> cancel([](QFileDialog& dialog) { dialog.reject(); });
    Click(IDC_BROWSE);
    EXPECT_EQ(cancel.seen, 1);
    EXPECT_FALSE(Ops().imageLoaded());
    EXPECT_TRUE(dlg_->RecentFiles().isEmpty());
  }

  QStringList filters;
  QString openedIn;
  ModalWatcher<QFileDialog> choose([&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    openedIn = dialog.directory().absolutePath() + '/';
    // Typed into the name box, as selectFile would miss a folder not read yet.
    dialog.findChild<QLineEdit*>("fileNameEdit")->setText(chosen);
    QMetaObject::invokeMethod(&dialog, "accept");  // as the Open button does
  });
  Click(IDC_BROWSE);
  EXPECT_EQ(choose.seen, 1);
  EXPECT_EQ(filters,
            QStringList({"COFF Files (.out) (*.out)", "C28x programs (*.out *.hex *.txt)"}));
  EXPECT_EQ(openedIn, files_.Folder());
  ExpectMessage("Reading COFF file is successful", false);
  EXPECT_EQ(FilePath()->currentText(), chosen);
  EXPECT_EQ(dlg_->RecentFiles(), QStringList({chosen}));
  // Written before the window ends.
  EXPECT_EQ(QSettings().value("Main Configuration/File Directory").toString(), other.Folder());
}

TEST_F(WindowOperationsTest, RefusalsShowTheirMessageAndLeaveThePodAlone) {
  const QString ram = files_.Coff("ram.out", RamProgram());
  const QString flash = files_.Coff("flash.out", FlashProgram());
  struct Case {
    const char* name;
    QString path;  // typed, not loaded
    bool useCsm;
    const char* keys;
    int button;
    const char* message;
  };
  const Case cases[] = {
      {"Target Write without a file", "", false, "", IDC_TARGET_WRITE,
       "Please, specify COFF file to write target"},
      {"POD Write without a file", " ", false, "", IDC_POD_WRITE,
       "Please, specify COFF file to write serial flash in Brontaflex POD"},
      {"POD Verify without a file", "", false, "", IDC_POD_VERIFY,
       "Please, specify COFF file to verify serial flash in Brontaflex POD"},
      {"Target Write with a missing file", files_.Folder() + "gone.out", false, "",
       IDC_TARGET_WRITE, "The specified COFF file isn't exist"},
      {"Target Write with keys all 0000", flash, true, "0000", IDC_TARGET_WRITE,
       "CSM Password input is wrong"},
      {"POD Write with keys all 0000", flash, true, "0", IDC_POD_WRITE,
       "CSM Password input is wrong"},
      {"POD Write of a program only in RAM", ram, false, "", IDC_POD_WRITE,
       "There is no valid section for flash region"},
      {"POD Verify of a program only in RAM", ram, false, "", IDC_POD_VERIFY,
       "There is no valid section for flash region"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    FilePath()->setEditText(c.path);
    Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(c.useCsm);
    for (int k = 0; k < 8; ++k) Control<QLineEdit>(IDC_KEY0 + k)->setText(c.keys);
    const DuringOperation during = Run(c.button);
    ExpectMessage(c.message, true);
    EXPECT_TRUE(emulator_->Transcript().empty()) << "no frame sent";
    EXPECT_EQ(during.steps, 0);
    ExpectIdle();
  }
}

TEST_F(WindowOperationsTest, TargetWriteProgramsTheTargetWithTheButtonsDisabledMeanwhile) {
  const QString path = files_.Coff("a.out", FlashProgram());
  FilePath()->setEditText(path);  // loaded by the write itself
  Control<QRadioButton>(IDC_ERASE_ALL)->setChecked(true);
  const DuringOperation during = Run(IDC_TARGET_WRITE);
  ExpectMessage(R"(Flash Write Completed - \d+\.\d\d sec)", false);
  EXPECT_GT(during.steps, 0);
  EXPECT_TRUE(during.buttonsDisabled);
  EXPECT_TRUE(during.waitCursor);
  ExpectIdle();
  EXPECT_EQ(dlg_->RecentFiles(), QStringList({path}));

  const TargetBoard& target = emulator_->Target();
  const std::vector<uint16_t> code = Pattern(300, 0);
  for (uint32_t i = 0; i < code.size(); ++i) ASSERT_EQ(target.ReadWord(0x3E8000 + i), code[i]) << i;
  EXPECT_EQ(target.ReadWord(0x3F0000), 0x1400);
  EXPECT_EQ(target.ReadWord(0x3F4000), 0xFFFF) << "sector 1 erased and left blank";

  Click(IDC_TARGET_RESET);
  ExpectMessage("Target board's reset is successful", false);
  ExpectIdle();
}

TEST_F(WindowOperationsTest, InputDuringAnOperationIsDroppedAndNeverActsAfterIt) {
  // What a user does to a busy window: a click on every button, Escape, Enter
  // and a close request; handed to the window at once, or queued by the
  // desktop for the window's next turn as a real display does.
  const auto pressAtOnce = [this] {
    for (int id : kOperationButtons) Click(id);
    QTest::keyClick(dlg_.get(), Qt::Key_Escape);
    QTest::keyClick(dlg_.get(), Qt::Key_Return);
    dlg_->close();
  };
  const auto pressThroughTheDesktop = [this] {
    using Queued = QWindowSystemInterface::AsynchronousDelivery;
    QWindow* window = dlg_->windowHandle();
    for (int id : kOperationButtons) {
      const QWidget* button = Control<QWidget>(id);
      const QPointF at = button->mapTo(dlg_.get(), QRectF(button->rect()).center());
      const QPointF global = dlg_->mapToGlobal(at);
      QWindowSystemInterface::handleMouseEvent<Queued>(window, at, global, Qt::LeftButton,
                                                       Qt::LeftButton, QEvent::MouseButtonPress);
      QWindowSystemInterface::handleMouseEvent<Queued>(window, at, global, Qt::NoButton,
                                                       Qt::LeftButton, QEvent::MouseButtonRelease);
    }
    for (const int key : {Qt::Key_Escape, Qt::Key_Return}) {
      for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QWindowSystemInterface::handleKeyEvent<Queued>(window, type, key, Qt::NoModifier);
      }
    }
    QWindowSystemInterface::handleCloseEvent<Queued>(window);
  };
  const struct {
    const char* how;
    std::function<void()> press;
  } deliveries[] = {{"at once", pressAtOnce}, {"through the desktop", pressThroughTheDesktop}};
  const struct {
    int button;
    const char* result;
  } operations[] = {
      {IDC_TARGET_WRITE, R"(Flash Write Completed - \d+\.\d\d sec)"},
      {IDC_POD_WRITE, R"(EEPROM Write Completed - \d+\.\d\d sec)"},
  };
  const QString path = files_.Coff("a.out", FlashProgram());
  for (const auto& delivery : deliveries) {
    for (const auto& operation : operations) {
      SCOPED_TRACE(std::string(delivery.how) + ", button " + std::to_string(operation.button));
      Open();
      TypeAndLoad(path);
      bool pressed = false;
      bool turnWhileBusy = false;
      dlg_->onProgress = [&] {
        if (pressed)
          return;
        pressed = true;
        delivery.press();
        QTimer::singleShot(0, dlg_.get(), [&] {
          turnWhileBusy = !Control<QWidget>(operation.button)->isEnabled();
        });
        // Long enough that the link's next wait gives the window a turn.
        QThread::msleep(2 * PodLink::kIdleIntervalMs);
      };
      Click(operation.button);
      dlg_->onProgress = nullptr;
      const size_t frames = emulator_->Transcript().size();
      QTest::qWait(50);  // whatever was held back would act now

      EXPECT_TRUE(pressed);
      EXPECT_TRUE(turnWhileBusy) << "the window answered during the operation";
      ASSERT_TRUE(dlg_->isVisible()) << "and it must not have ended";
      ExpectMessage(operation.result, false);
      EXPECT_EQ(emulator_->Transcript().size(), frames) << "nothing ran after it";
      ExpectIdle();
    }
  }
}

TEST_F(WindowOperationsTest, TargetWriteTakesTheTypedKeysOfASecuredTarget) {
  const CsmKeys password{0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888};
  emulator_->Target().Secure(password);
  TypeAndLoad(files_.Coff("a.out", FlashProgram()));
  Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(true);
  for (int k = 0; k < 8; ++k) Control<QLineEdit>(IDC_KEY0 + k)->setText("1111");
  Run(IDC_TARGET_WRITE);
  ExpectMessage("Fail to download flash algorithm code", true);
  ExpectIdle();

  for (int k = 0; k < 8; ++k) {
    Control<QLineEdit>(IDC_KEY0 + k)->setText(QString::asprintf("%04x", password[k]));
  }
  Run(IDC_TARGET_WRITE);
  ExpectMessage(R"(Flash Write Completed - \d+\.\d\d sec)", false);
  EXPECT_EQ(emulator_->Target().ReadWord(0x3E8000), 0x1000);
}

TEST_F(WindowOperationsTest, PodUnpluggedDuringTheEraseEndsWithOneMessageAndTheWindowIdle) {
  TypeAndLoad(files_.Coff("a.out", FlashProgram()));
  emulator_->Faults().Add(FaultTrigger::OnLetter('O', 2), {FaultKind::Unplug});
  Run(IDC_TARGET_WRITE);
  ExpectMessage("Fail to erase flash memory", true);
  ExpectIdle();
}

TEST_F(WindowOperationsTest, PodWriteVerifyAndInfoWorkOnThePodsOwnCopy) {
  TypeAndLoad(files_.Coff("motor_control.out", FlashProgram()));
  Click(IDC_POD_INFO);
  ExpectMessage("POD Ver: 1.1, No POD File Data", false);

  // An empty name edit stores the program's name and shows it.
  Control<QLineEdit>(IDC_POD_FILE_NAME)->clear();
  const DuringOperation writing = Run(IDC_POD_WRITE);
  ExpectMessage(R"(EEPROM Write Completed - \d+\.\d\d sec)", false);
  EXPECT_GT(writing.steps, 0);
  EXPECT_TRUE(writing.buttonsDisabled);
  EXPECT_TRUE(writing.waitCursor);
  ExpectIdle();
  EXPECT_EQ(Control<QLineEdit>(IDC_POD_FILE_NAME)->text(), "motor_co");

  const DuringOperation verifying = Run(IDC_POD_VERIFY);
  ExpectMessage(R"(EEPROM Verify Completed - \d+\.\d\d sec)", false);
  EXPECT_TRUE(verifying.buttonsDisabled);
  ExpectIdle();

  Click(IDC_POD_INFO);
  ExpectMessage(R"(POD Ver: 1\.1, POD File Name: motor_co \[when \d{4}\.\d\d\.\d\d \d\d:\d\d\])",
                false);

  // A typed name, cut to eight characters, is the one kept at the end.
  Control<QLineEdit>(IDC_POD_FILE_NAME)->setText("  PUMP ");
  Run(IDC_POD_WRITE);
  EXPECT_EQ(Control<QLineEdit>(IDC_POD_FILE_NAME)->text(), "PUMP");
  Control<QLineEdit>(IDC_POD_FILE_NAME)->setText("NOT USED");
  Click(IDC_EXIT);
  EXPECT_EQ(QSettings().value("Main Configuration/EEP File Name").toString(), "PUMP");
}

TEST_F(WindowOperationsTest, PodVerifyOfOtherDataFailsWithTheStoresOwnMessage) {
  TypeAndLoad(files_.Coff("a.out", FlashProgram()));
  Run(IDC_POD_WRITE);
  TypeAndLoad(files_.Coff("b.out", FlashProgram(7)));
  Run(IDC_POD_VERIFY);
  ExpectMessage("The selected COFF file data is not same in serial flash", true);
  ExpectIdle();
}

// The part of `image` covered by `picture` where the picture is opaque.
bool ShowsPicture(const QImage& image, const QRect& at, const QPixmap& picture) {
  const QImage expected = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  int opaque = 0;
  for (int y = 0; y < expected.height(); ++y) {
    for (int x = 0; x < expected.width(); ++x) {
      const QColor want = expected.pixelColor(x, y);
      if (want.alpha() != 255)
        continue;
      ++opaque;
      if (image.pixelColor(at.topLeft() + QPoint(x, y)).rgb() != want.rgb())
        return false;
    }
  }
  return opaque > 0;
}

TEST_F(WindowOperationsTest, AllSevenButtonsShowTheirPicturesAndTheEmbossedOneWhenDisabled) {
  for (int id : kOperationButtons) {
    auto* button = Control<COXBitmapButton>(id);
    SCOPED_TRACE(button->text().toStdString());
    ASSERT_TRUE(button->HasPictures());
    const QRect picture = button->LayoutButton(false).picture;
    EXPECT_TRUE(ShowsPicture(button->grab().toImage(), picture, button->NormalPicture()));
  }
  dlg_->SetBusy(true);
  for (int id : kOperationButtons) {
    auto* button = Control<COXBitmapButton>(id);
    SCOPED_TRACE(button->text().toStdString());
    const QImage shown = button->grab().toImage();
    const QRect picture = button->LayoutButton(false).picture;
    EXPECT_TRUE(ShowsPicture(shown, picture, button->DisabledPicture()));
    EXPECT_FALSE(ShowsPicture(shown, picture, button->NormalPicture()));
  }
  dlg_->SetBusy(false);
}

}  // namespace
