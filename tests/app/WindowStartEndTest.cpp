// The window's start and end: what it shows after reading the settings and
// looking for the POD, the most recent file loaded in place, and the settings
// written back however the window ends.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <optional>

#include "app/CProgrammerDlg.h"
#include "pod/CsmKeys.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"
#include "widgets/CMessageLabel.h"

namespace {

const QColor kRed(255, 0, 0);

class WindowStartEndTest : public testing::Test {
 protected:
  std::unique_ptr<CProgrammerDlg> Open(EmulatorConfig config = {}) {
    return std::make_unique<CProgrammerDlg>(OnEmulator(emulator_, std::move(config), &device_));
  }

  static QString Message(const CProgrammerDlg& dlg) {
    return dlg.Control<CMessageLabel>(IDC_MESSAGE)->LabelText();
  }
  static bool MessageIsError(const CProgrammerDlg& dlg) {
    return dlg.Control<CMessageLabel>(IDC_MESSAGE)->LabelTextColor() == kRed;
  }
  static QStringList ListedFiles(const CProgrammerDlg& dlg) {
    QStringList items;
    auto* combo = dlg.Control<QComboBox>(IDC_FILE_PATH);
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
  }
  static void Click(CProgrammerDlg& dlg, int id) { dlg.Control<QAbstractButton>(id)->click(); }

  EmptySettings empty_;
  QSettings store_;
  ScratchFiles files_;
  EmulatorDriver* emulator_ = nullptr;
  std::optional<McuType> device_;  // the device the window asked the driver for
};

TEST_F(WindowStartEndTest, FirstStartShowsTheDefaultsAndWhatTheSearchForThePodFound) {
  struct Case {
    const char* name;
    std::function<std::unique_ptr<PortDriver>(Clock&)> driver;
    const char* atStart;
    bool error;
    const char* podInfo;  // what a later operation says
  };
  FakeClock fakeClock;
  EmulatorConfig noPod;
  noPod.devices = {"USB Serial Converter"};
  noPod.podIndex.reset();
  const Case cases[] = {
      {"POD attached", [](Clock& clock) { return std::make_unique<EmulatorDriver>(clock); },
       "Connection to Brontaflex POD is successful", false, "POD Ver: 1.1, No POD File Data"},
      {"no POD", [&](Clock& clock) { return std::make_unique<EmulatorDriver>(clock, noPod); },
       "No Connection to Brontaflex POD", true, "No Connection to Brontaflex POD"},
      {"no driver",
       [&](Clock&) {
         auto driver = std::make_unique<FakePortDriver>(fakeClock);
         driver->loads = false;
         return driver;
       },
       "Fail to load FTD2XX.DLL", true, "Fail to load FTD2XX.DLL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowOptions options;
    options.makeDriver = [&](Clock& clock, McuType mcuType) {
      device_ = mcuType;
      return c.driver(clock);
    };
    CProgrammerDlg dlg(std::move(options));
    EXPECT_TRUE(dlg.initialized());
    EXPECT_EQ(Message(dlg), c.atStart);
    EXPECT_EQ(MessageIsError(dlg), c.error);

    EXPECT_EQ(device_, kF2808);
    EXPECT_EQ(dlg.Control<QComboBox>(IDC_MCU_TYPE)->currentIndex(), 3);
    EXPECT_TRUE(dlg.Control<QRadioButton>(IDC_INTELLIGENT_ERASE)->isChecked());
    EXPECT_FALSE(dlg.Control<QRadioButton>(IDC_ERASE_ALL)->isChecked());
    EXPECT_FALSE(dlg.Control<QCheckBox>(IDC_CSM_OPTION)->isChecked());
    for (int k = 0; k < 8; ++k) {
      EXPECT_FALSE(dlg.Control<QLineEdit>(IDC_KEY0 + k)->isEnabled()) << k;
      EXPECT_EQ(dlg.Control<QLineEdit>(IDC_KEY0 + k)->text(), "FFFF") << k;
    }
    EXPECT_EQ(dlg.Control<QComboBox>(IDC_FILE_PATH)->count(), 0);
    EXPECT_EQ(dlg.Control<QComboBox>(IDC_FILE_PATH)->currentText(), "");
    EXPECT_EQ(dlg.Control<QLineEdit>(IDC_POD_FILE_NAME)->text(), "");
    EXPECT_FALSE(dlg.Operations()->imageLoaded());
    EXPECT_FALSE(dlg.Operations()->link().isOpen()) << "the search opens no port";

    Click(dlg, IDC_POD_INFO);
    EXPECT_EQ(Message(dlg), c.podInfo);
  }
}

TEST_F(WindowStartEndTest, AnUnknownDriverNameIsShownAsAnErrorAtStart) {
  const QByteArray chosen = qgetenv("BRONTAFLEX_DRIVER");
  qputenv("BRONTAFLEX_DRIVER", "serial-port");
  {
    CProgrammerDlg dlg;
    EXPECT_TRUE(Message(dlg).contains("serial-port")) << Message(dlg).toStdString();
    EXPECT_TRUE(MessageIsError(dlg));
  }
  qputenv("BRONTAFLEX_DRIVER", chosen);
}

TEST_F(WindowStartEndTest, StoredDeviceIsCutToEightBitsAndClampedToTheLastDevice) {
  const std::pair<int, int> cases[] = {{9, 4}, {256, 0}, {1, 1}, {4, 4}};
  for (const auto& [stored, selected] : cases) {
    SCOPED_TRACE(stored);
    store_.setValue("Main Configuration/MCU Type", stored);
    auto dlg = Open();
    EXPECT_EQ(dlg->Control<QComboBox>(IDC_MCU_TYPE)->currentIndex(), selected);
    EXPECT_EQ(device_, McuType::FromIndex(selected)) << "the emulated target is that device";
  }
}

TEST_F(WindowStartEndTest, RecentFilesThatAreGoneCloseUpAndTheMostRecentLoadsInPlace) {
  const QString a = files_.Coff("a.out", FlashProgram());
  const QString c = files_.Coff("c.out", FlashProgram(1));
  const QString d = files_.Coff("d.out", FlashProgram(2));
  store_.setValue("File List/Recent File0", a);
  store_.setValue("File List/Recent File1", files_.Folder() + "deleted.out");
  store_.setValue("File List/Recent File2", c);
  store_.setValue("File List/Recent File3", "");
  store_.setValue("File List/Recent File4", d);
  {
    auto dlg = Open();
    EXPECT_EQ(dlg->RecentFiles(), QStringList({a, c}));
    EXPECT_EQ(ListedFiles(*dlg), QStringList({a, c}));
    EXPECT_EQ(dlg->Control<QComboBox>(IDC_FILE_PATH)->currentText(), a);
    EXPECT_EQ(Message(*dlg), "Reading COFF file is successful");
    EXPECT_FALSE(MessageIsError(*dlg));
    EXPECT_TRUE(dlg->Operations()->imageLoaded());
    EXPECT_EQ(dlg->Operations()->image().sectionCount(), 3);
    EXPECT_EQ(dlg->Operations()->programName(), "a");
  }
  // Written back closed up, with nothing left under the old numbers.
  EXPECT_EQ(store_.value("File List/Recent File0").toString(), a);
  EXPECT_EQ(store_.value("File List/Recent File1").toString(), c);
  EXPECT_FALSE(store_.contains("File List/Recent File2"));
  EXPECT_FALSE(store_.contains("File List/Recent File4"));
}

TEST_F(WindowStartEndTest, MostRecentFileThatIsNoLongerCoffLeavesTheImageEmpty) {
  const QString text = files_.Write("notes.out", {'h', 'e', 'l', 'l', 'o'});
  const QString a = files_.Coff("a.out", FlashProgram());
  store_.setValue("File List/Recent File0", text);
  store_.setValue("File List/Recent File1", a);
  auto dlg = Open();
  EXPECT_EQ(Message(*dlg), "The specified file is not COFF format");
  EXPECT_TRUE(MessageIsError(*dlg));
  EXPECT_FALSE(dlg->Operations()->imageLoaded());
  EXPECT_EQ(dlg->Operations()->image().sectionCount(), 0);
  EXPECT_EQ(dlg->RecentFiles(), QStringList({text, a}));
}

TEST_F(WindowStartEndTest, KeysAreKeptOnlyWhenTheCsmOptionIsOnAndNotAllZero) {
  struct Case {
    const char* name;
    bool csmAtEnd;
    const char* typed;
    int savedKey;
  };
  const Case cases[] = {
      {"typed, option off", false, "1234", 0xFFFF},
      {"all 0000, option on", true, "0000", 0xFFFF},
      {"typed, option on", true, "1234", 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      auto dlg = Open();
      dlg->Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(true);
      for (int k = 0; k < 8; ++k) {
        auto* edit = dlg->Control<QLineEdit>(IDC_KEY0 + k);
        edit->clear();
        QTest::keyClicks(edit, c.typed);
      }
      dlg->Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(c.csmAtEnd);
      Click(*dlg, IDC_EXIT);
    }
    EXPECT_EQ(store_.value("Main Configuration/CSM Use Option").toInt(), c.csmAtEnd ? 1 : 0);
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(store_.value(QStringLiteral("Main Configuration/PW KEY%1").arg(k)).toInt(),
                c.savedKey)
          << k;
    }
  }
}

TEST_F(WindowStartEndTest, SettingsWrittenAtTheEndAreWhatTheNextStartShows) {
  const QString a = files_.Coff("a.out", FlashProgram());
  const QString b = files_.Coff("motor_ctl.out", FlashProgram(1));
  store_.setValue("Main Configuration/EEP File Name", "MOTOR");
  store_.setValue("Main Configuration/File Directory", files_.Folder());
  const CsmKeys keys{0x0001, 0x2345, 0xFFFF, 0x0000, 0xABCD, 0x8000, 0x7FFF, 0x1111};
  {
    auto dlg = Open();
    dlg->Control<QComboBox>(IDC_MCU_TYPE)->setCurrentIndex(1);
    dlg->Control<QRadioButton>(IDC_ERASE_ALL)->setChecked(true);
    dlg->Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(true);
    for (int k = 0; k < 8; ++k) {
      dlg->Control<QLineEdit>(IDC_KEY0 + k)->setText(QString::asprintf("%04X", keys[k]));
    }
    for (const QString& path : {a, b}) {
      dlg->Control<QComboBox>(IDC_FILE_PATH)->setEditText(path);
      Click(*dlg, IDC_LOAD);
    }
    // Typed but never used by a POD Write: the stored name stays.
    dlg->Control<QLineEdit>(IDC_POD_FILE_NAME)->setText("OTHER");
    Click(*dlg, IDC_EXIT);
  }
  ProgrammerSettings expected;
  expected.mcuType = kF2802;
  expected.eraseAll = true;
  expected.useCsm = true;
  expected.fileDirectory = files_.Folder().toStdString();
  expected.podFileName = "MOTOR";
  expected.keys = keys;
  expected.recentFiles = {b.toStdString(), a.toStdString()};
  QSettingsStore saved;
  EXPECT_EQ(LoadSettings(saved), expected);

  {
    auto dlg = Open();
    EXPECT_EQ(dlg->Control<QComboBox>(IDC_MCU_TYPE)->currentIndex(), 1);
    EXPECT_TRUE(dlg->Control<QRadioButton>(IDC_ERASE_ALL)->isChecked());
    EXPECT_TRUE(dlg->Control<QCheckBox>(IDC_CSM_OPTION)->isChecked());
    for (int k = 0; k < 8; ++k) {
      EXPECT_TRUE(dlg->Control<QLineEdit>(IDC_KEY0 + k)->isEnabled());
      EXPECT_EQ(dlg->Control<QLineEdit>(IDC_KEY0 + k)->text(), QString::asprintf("%04X", keys[k]));
    }
    EXPECT_EQ(dlg->Control<QLineEdit>(IDC_POD_FILE_NAME)->text(), "MOTOR");
    EXPECT_EQ(ListedFiles(*dlg), QStringList({b, a}));
    EXPECT_EQ(Message(*dlg), "Reading COFF file is successful");
    EXPECT_EQ(dlg->Operations()->mcuType(), kF2802) << "loaded for the stored device";
  }
  EXPECT_EQ(LoadSettings(saved), expected) << "a start and end without changes keep them";
}

TEST_F(WindowStartEndTest, DestroyingTheWindowEndsItOnceAndSaves) {
  auto dlg = Open();
  dlg->Control<QRadioButton>(IDC_ERASE_ALL)->setChecked(true);
  dlg.reset();
  EXPECT_EQ(store_.value("Main Configuration/EraseAll Mode").toInt(), 1);

  // Ended first, then destroyed: the second time saves nothing over the first.
  dlg = Open();
  dlg->Control<QRadioButton>(IDC_INTELLIGENT_ERASE)->setChecked(true);
  Click(*dlg, IDC_EXIT);
  EXPECT_EQ(dlg->Operations(), nullptr) << "link, driver and image released";
  EXPECT_EQ(store_.value("Main Configuration/EraseAll Mode").toInt(), 0);
  store_.setValue("Main Configuration/EraseAll Mode", 7);
  dlg.reset();
  EXPECT_EQ(store_.value("Main Configuration/EraseAll Mode").toInt(), 7);
}

TEST_F(WindowStartEndTest, ReadOnlySettingsAreNeverWritten) {
  store_.setValue("Main Configuration/MCU Type", 2);
  const QString a = files_.Coff("a.out", FlashProgram());
  {
    EmulatorDriver* emulator = nullptr;
    WindowOptions options = OnEmulator(emulator);
    options.readOnlySettings = true;
    CProgrammerDlg dlg(std::move(options));
    EXPECT_EQ(dlg.Control<QComboBox>(IDC_MCU_TYPE)->currentIndex(), 2) << "read all the same";
    dlg.Control<QComboBox>(IDC_MCU_TYPE)->setCurrentIndex(4);
    dlg.Control<QComboBox>(IDC_FILE_PATH)->setEditText(a);
    Click(dlg, IDC_LOAD);
    Click(dlg, IDC_EXIT);
  }
  EXPECT_EQ(store_.allKeys(), QStringList({"Main Configuration/MCU Type"}));
  EXPECT_EQ(store_.value("Main Configuration/MCU Type").toInt(), 2);
}

}  // namespace
