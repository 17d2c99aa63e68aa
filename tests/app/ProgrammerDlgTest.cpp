#include "app/CProgrammerDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/CAboutBox.h"
#include "image/McuCatalogue.h"
#include "resources/Version.h"
#include "tests/app/WindowTestSupport.h"
#include "widgets/CMessageLabel.h"
#include "widgets/COXBitmapButton.h"
#include "widgets/CPercentProgressBar.h"

namespace {

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), text.size());
}

// The widget class each kind of template control must become.
const QMetaObject* ExpectedClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::StaticText:
    case ControlKind::Icon:
      return &QLabel::staticMetaObject;
    case ControlKind::GroupBox:
      return &QGroupBox::staticMetaObject;
    case ControlKind::Edit:
      return &QLineEdit::staticMetaObject;
    case ControlKind::DropDownList:
    case ControlKind::DropDownCombo:
      return &QComboBox::staticMetaObject;
    case ControlKind::PushButton:
      return &QPushButton::staticMetaObject;
    case ControlKind::BitmapButton:
      return &COXBitmapButton::staticMetaObject;
    case ControlKind::RadioButton:
      return &QRadioButton::staticMetaObject;
    case ControlKind::CheckBox:
      return &QCheckBox::staticMetaObject;
    case ControlKind::StatusLabel:
      return &CMessageLabel::staticMetaObject;
    case ControlKind::ProgressBar:
      return &CPercentProgressBar::staticMetaObject;
  }
  return nullptr;
}

QString Caption(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget))
    return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget))
    return button->text();
  if (auto* group = qobject_cast<const QGroupBox*>(widget))
    return group->title();
  if (auto* edit = qobject_cast<const QLineEdit*>(widget))
    return edit->text();
  return {};
}

class ProgrammerDlgTest : public testing::Test {
 protected:
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = dlg_.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit* Key(int k) { return Find<QLineEdit>(qPrintable(QStringLiteral("IDC_KEY%1").arg(k))); }

  void ShowAndWait() {
    dlg_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg_));
  }

  EmptySettings emptySettings_;  // before the window, which reads them
  CProgrammerDlg dlg_;
};

TEST_F(ProgrammerDlgTest, EveryTemplateControlHasItsIdKindAndPlace) {
  const QRect client = dlg_.rect();
  EXPECT_EQ(dlg_.size(), dlg_.Units().ToPixels(299, 267));
  for (const DialogControl& control : kMainDialogControls) {
    SCOPED_TRACE(Utf8(control.caption).toStdString() + " " + std::string(control.name));
    QWidget* widget = nullptr;
    if (control.id == IDC_STATIC) {
      // Fixed texts have no name: find them by their caption.
      for (QWidget* child : dlg_.findChildren<QWidget*>()) {
        if (child->property("controlId").toInt() == IDC_STATIC &&
            Caption(child) == Utf8(control.caption)) {
          widget = child;
        }
      }
    } else {
      widget = dlg_.findChild<QWidget*>(Utf8(control.name));
    }
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->property("controlId").toInt(), control.id);
    EXPECT_EQ(widget->metaObject(), ExpectedClass(control.kind))
        << widget->metaObject()->className();
    const QRect expected = dlg_.Units().ToPixels(control.rect);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      // The closed box is as high as the style makes it; the rest is its list.
      EXPECT_EQ(widget->pos(), expected.topLeft());
      EXPECT_EQ(widget->width(), expected.width());
      EXPECT_LT(widget->height(), expected.height());
      EXPECT_GE(combo->maxVisibleItems(), 1);
    } else {
      EXPECT_EQ(widget->geometry(), expected);
    }
    EXPECT_TRUE(client.contains(widget->geometry())) << "outside the window";
    const bool keyEdit = control.id >= IDC_KEY0 && control.id < IDC_KEY0 + 8;
    EXPECT_EQ(widget->isEnabled(), !keyEdit) << "the KEY edits wait for the CSM option";
  }
}

TEST_F(ProgrammerDlgTest, ShowsTheProgramsTextsByteForByte) {
  EXPECT_EQ(dlg_.windowTitle(), "TMS320F280x DSP Programmer Ver" BRONTAFLEX_VERSION " - Veskora");
  EXPECT_FALSE(dlg_.windowIcon().isNull());
  const std::vector<std::pair<const char*, QString>> named = {
      {"IDC_BROWSE", "..."},
      {"IDC_INTELLIGENT_ERASE", "Intelligent Erase Flash Memory"},
      {"IDC_ERASE_ALL", "Erase All Flash Memory"},
      {"IDC_CSM_OPTION", "Unlock CSM(Code Security Module) 사용 여부"},
      {"IDC_MESSAGE", "Message"},
      {"IDC_TARGET_WRITE", "Target Write"},
      {"IDC_TARGET_RESET", "Target Reset"},
      {"IDC_LOAD", "Load"},
      {"IDC_EXIT", "Exit"},
      {"IDC_POD_WRITE", "POD Write"},
      {"IDC_POD_VERIFY", "POD Verify"},
      {"IDC_POD_INFO", "POD Info"},
      {"IDC_KEY_LABEL0", "KEY0 (0x3F7FF8)"},
      {"IDC_KEY_LABEL3", "KEY3 (0x3F7FFB)"},
      {"IDC_KEY_LABEL7", "KEY7 (0x3F7FFF)"},
      {"IDC_KEY0", "FFFF"},
      {"IDC_KEY7", "FFFF"},
      {"IDC_POD_FILE_NAME", ""},
  };
  for (const auto& [name, text] : named) EXPECT_EQ(Caption(Find(name)), text) << name;

  QStringList fixed;
  for (QLabel* label : dlg_.findChildren<QLabel*>()) fixed << label->text();
  for (const char* text :
       {"MCU", "File Path", "POD File Name", "Flash Algorithm Code에 사용됩니다. - Hex Value"}) {
    EXPECT_TRUE(fixed.contains(QString::fromUtf8(text))) << text;
  }
  EXPECT_EQ(dlg_.findChild<QGroupBox*>()->title(), "Option for TMS320F280x Device");
}

TEST_F(ProgrammerDlgTest, ListsAndLimitsOfTheInputs) {
  auto* mcu = Find<QComboBox>("IDC_MCU_TYPE");
  EXPECT_FALSE(mcu->isEditable());
  ASSERT_EQ(mcu->count(), static_cast<int>(kMcuCatalogue.size()));
  for (int i = 0; i < mcu->count(); ++i) EXPECT_EQ(mcu->itemText(i), Utf8(kMcuCatalogue[i].label));
  EXPECT_EQ(mcu->currentIndex(), 3);  // F2808 until settings say otherwise

  auto* path = Find<QComboBox>("IDC_FILE_PATH");
  EXPECT_TRUE(path->isEditable());
  EXPECT_EQ(path->count(), 0);
  // A typed path followed by Enter is not added to the recent-file list.
  path->setFocus();
  QTest::keyClicks(path->lineEdit(), "/tmp/x.out");
  QTest::keyClick(path->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(path->count(), 0);

  EXPECT_TRUE(Find<QRadioButton>("IDC_INTELLIGENT_ERASE")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("IDC_ERASE_ALL")->isChecked());
  QTest::mouseClick(Find<QRadioButton>("IDC_ERASE_ALL"), Qt::LeftButton);
  EXPECT_FALSE(Find<QRadioButton>("IDC_INTELLIGENT_ERASE")->isChecked());

  QTest::mouseClick(Find<QCheckBox>("IDC_CSM_OPTION"), Qt::LeftButton);
  Key(2)->clear();
  QTest::keyClicks(Key(2), "3f7g9");
  EXPECT_EQ(Key(2)->text(), "3F7G");  // upper case, at most four characters
  auto* podName = Find<QLineEdit>("IDC_POD_FILE_NAME");
  QTest::keyClicks(podName, "motor_control");
  EXPECT_EQ(podName->text(), "motor_co");
}

TEST_F(ProgrammerDlgTest, CsmOptionEnablesTheKeysAndKeepsTheirTexts) {
  auto* csm = Find<QCheckBox>("IDC_CSM_OPTION");
  EXPECT_FALSE(csm->isChecked());
  QTest::mouseClick(csm, Qt::LeftButton);
  for (int k = 0; k < 8; ++k) {
    ASSERT_TRUE(Key(k)->isEnabled()) << k;
    Key(k)->setText(QString::asprintf("%04X", 0x1111 * k));
  }
  for (bool ticked : {false, true, false}) {
    QTest::mouseClick(csm, Qt::LeftButton);
    ASSERT_EQ(csm->isChecked(), ticked);
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(Key(k)->isEnabled(), ticked) << k;
      EXPECT_EQ(Key(k)->text(), QString::asprintf("%04X", 0x1111 * k)) << k;
    }
  }
}

struct Ink {
  int red = 0;    // pixels mostly red
  int black = 0;  // pixels mostly dark
};

Ink InkOf(const QImage& image) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 150 && c.green() < 100 && c.blue() < 100)
        ++ink.red;
      if (c.red() < 100 && c.green() < 100 && c.blue() < 100)
        ++ink.black;
    }
  }
  return ink;
}

TEST_F(ProgrammerDlgTest, ShowStatusPaintsErrorsRedAndOtherTextBlackOnGreen) {
  auto* label = Find<CMessageLabel>("IDC_MESSAGE");
  dlg_.ShowStatus("Fail to open communication port", true);
  QImage image = label->grab().toImage();
  EXPECT_EQ(image.pixelColor(1, 1), QColor(0, 255, 0));
  Ink ink = InkOf(image);
  EXPECT_GT(ink.red, 0);
  EXPECT_EQ(ink.black, 0);
  EXPECT_EQ(label->LabelText(), "Fail to open communication port");

  dlg_.ShowStatus("Reading COFF file is successful", false);
  image = label->grab().toImage();
  EXPECT_EQ(image.pixelColor(1, 1), QColor(0, 255, 0));
  ink = InkOf(image);
  EXPECT_EQ(ink.red, 0);
  EXPECT_GT(ink.black, 0);
}

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      ++paints;
    return false;
  }
};

TEST_F(ProgrammerDlgTest, ShowStatusPaintsBeforeItReturns) {
  ShowAndWait();
  QCoreApplication::processEvents();
  PaintCounter counter;
  Find("IDC_MESSAGE")->installEventFilter(&counter);
  dlg_.ShowStatus("Flash Erase", false);
  EXPECT_GE(counter.paints, 1);  // no event loop ran in between
}

TEST_F(ProgrammerDlgTest, SetBusySwitchesAllSevenButtonsInOrder) {
  const std::vector<QString> order = {"IDC_LOAD",        "IDC_TARGET_RESET", "IDC_POD_INFO",
                                      "IDC_EXIT",        "IDC_POD_WRITE",    "IDC_POD_VERIFY",
                                      "IDC_TARGET_WRITE"};
  class Recorder : public QObject {
   public:
    std::vector<QString> changed;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::EnabledChange)
        changed.push_back(watched->objectName());
      return false;
    }
  } recorder;
  for (const QString& name : order) Find(qPrintable(name))->installEventFilter(&recorder);

  for (bool busy : {true, false}) {
    recorder.changed.clear();
    dlg_.SetBusy(busy);
    EXPECT_EQ(recorder.changed, order) << "busy " << busy;
    for (const QString& name : order) EXPECT_EQ(Find(qPrintable(name))->isEnabled(), !busy);
  }
  // The other controls are left as they were.
  EXPECT_TRUE(Find("IDC_BROWSE")->isEnabled());
}

TEST_F(ProgrammerDlgTest, ForwardsProgressToTheBarWithoutHandlingEventsAtEachStep) {
  auto* bar = Find<CPercentProgressBar>("IDC_PROGRESS");
  EXPECT_EQ(bar->BarLower(), 0);
  EXPECT_EQ(bar->BarUpper(), 100);
  ShowAndWait();
  ProgressReporter& reporter = dlg_;
  reporter.SetUpBar(40);
  EXPECT_EQ(reporter.StepBar(), 0);
  EXPECT_EQ(reporter.StepBar(), 1);
  EXPECT_EQ(bar->BarPos(), 2);
  EXPECT_EQ(bar->BarUpper(), 40);

  // A write makes thousands of steps: the window answers on the link's idle
  // turns instead, so a step or a message costs no pass through the events.
  int delivered = 0;
  QMetaObject::invokeMethod(
      &dlg_, [&] { ++delivered; }, Qt::QueuedConnection);
  dlg_.SetBusy(true);
  reporter.StepBar();
  reporter.ShowStatus("Flash Write", false);
  EXPECT_EQ(delivered, 0);
  dlg_.SetBusy(false);
  QCoreApplication::processEvents();
  EXPECT_EQ(delivered, 1);
}

// Each way of ending the window, done to a shown window.
struct Ending {
  const char* name;
  std::function<void(CProgrammerDlg&)> act;
};

TEST_F(ProgrammerDlgTest, ExitEnterEscapeAndCloseEndTheWindowAlike) {
  const Ending endings[] = {
      {"Exit button",
       [](CProgrammerDlg& d) {
         QTest::mouseClick(d.findChild<QWidget*>("IDC_EXIT"), Qt::LeftButton);
       }},
      {"Escape", [](CProgrammerDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
      {"Enter in an edit",
       [](CProgrammerDlg& d) {
         QTest::keyClick(d.findChild<QWidget*>("IDC_POD_FILE_NAME"), Qt::Key_Return);
       }},
      {"Enter in the file path",
       [](CProgrammerDlg& d) {
         QTest::keyClick(d.findChild<QComboBox*>("IDC_FILE_PATH")->lineEdit(), Qt::Key_Enter,
                         Qt::KeypadModifier);
       }},
      {"Enter on the focused Exit button",
       [](CProgrammerDlg& d) {
         auto* exit = d.findChild<QWidget*>("IDC_EXIT");
         exit->setFocus();
         QTest::keyClick(exit, Qt::Key_Return);
       }},
      {"close request", [](CProgrammerDlg& d) { d.close(); }},
  };
  for (const Ending& ending : endings) {
    EmptySettings empty;
    CProgrammerDlg dlg;
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.Control<QRadioButton>(IDC_ERASE_ALL)->setChecked(true);
    ending.act(dlg);
    ASSERT_EQ(finished.count(), 1) << ending.name;
    EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted) << ending.name;
    EXPECT_FALSE(dlg.isVisible()) << ending.name;
    // Saved as the window went, not only when the object goes.
    EXPECT_EQ(QSettings().value("Main Configuration/EraseAll Mode").toInt(), 1) << ending.name;
    EXPECT_EQ(dlg.Operations(), nullptr) << ending.name;
  }
}

TEST_F(ProgrammerDlgTest, EnterPressesTheFocusedButtonInsteadOfEnding) {
  ShowAndWait();
  for (QPushButton* button : dlg_.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
  }
  QSignalSpy finished(&dlg_, &QDialog::finished);
  auto* load = Find<QPushButton>("IDC_LOAD");
  QSignalSpy clicked(load, &QPushButton::clicked);
  load->setFocus();
  QTest::keyClick(load, Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_EQ(Find<CMessageLabel>("IDC_MESSAGE")->LabelText(), "Please, specify COFF file to read");
  EXPECT_EQ(finished.count(), 0);
}

TEST_F(ProgrammerDlgTest, WindowStaysWhileAnOperationRuns) {
  ShowAndWait();
  QSignalSpy finished(&dlg_, &QDialog::finished);
  dlg_.SetBusy(true);
  EXPECT_FALSE(dlg_.close());
  QTest::keyClick(&dlg_, Qt::Key_Escape);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(dlg_.isVisible());
  dlg_.SetBusy(false);
  EXPECT_TRUE(dlg_.close());
}

// Checks an About box with `check`, then closes it with its OK button.
ModalWatcher<CAboutBox> AboutBoxWatcher(std::function<void(CAboutBox&)> check) {
  return ModalWatcher<CAboutBox>([check](CAboutBox& box) {
    check(box);
    QTest::mouseClick(box.findChild<QPushButton*>("IDOK"), Qt::LeftButton);
  });
}

TEST_F(ProgrammerDlgTest, F1OpensTheAboutBox) {
  ShowAndWait();
  auto watcher = AboutBoxWatcher([](CAboutBox& box) {
    EXPECT_EQ(box.windowTitle(), "Brontaflex 정보");
    QStringList texts;
    for (QLabel* label : box.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Brontaflex 버전 " BRONTAFLEX_VERSION));
    auto* ok = box.findChild<QPushButton*>("IDOK");
    EXPECT_EQ(ok->text(), "확인");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(box.windowIcon().isNull());
  });
  QTest::keyClick(&dlg_, Qt::Key_F1);
  EXPECT_EQ(watcher.seen, 1);
}

TEST_F(ProgrammerDlgTest, ContextMenuOffersTheAboutEntry) {
  ShowAndWait();
  auto watcher = AboutBoxWatcher([](CAboutBox&) {});
  QString entry;
  int command = 0;
  QTimer menuWatcher;
  QObject::connect(&menuWatcher, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr)
      return;
    menuWatcher.stop();
    entry = menu->actions().value(0)->text();
    command = menu->actions().value(0)->data().toInt();
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  menuWatcher.start(5);
  const QPoint inside = dlg_.findChild<QGroupBox*>()->geometry().topLeft() + QPoint(4, 30);
  QContextMenuEvent event(QContextMenuEvent::Mouse, inside, dlg_.mapToGlobal(inside));
  QApplication::sendEvent(&dlg_, &event);
  EXPECT_EQ(entry, "Brontaflex 정보(&A)...");
  EXPECT_EQ(command, CProgrammerDlg::kAboutCommand);
  EXPECT_EQ(watcher.seen, 1);
}

}  // namespace
