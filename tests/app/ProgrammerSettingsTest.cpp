// The settings as stored: defaults, values cut to their width, the recent-file
// list as read and as written back, and the keys that are worth keeping.
#include "app/ProgrammerSettings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include <sys/stat.h>

#include "tests/app/WindowTestSupport.h"

namespace {

class ProgrammerSettingsTest : public testing::Test {
 protected:
  // A store in the INI form the program uses on Linux, in a file of the test's own.
  QSettings Store() const { return QSettings(dir_.filePath("settings.ini"), QSettings::IniFormat); }

  QTemporaryDir dir_;
  ScratchFiles files_;
};

TEST_F(ProgrammerSettingsTest, EmptyStoreGivesTheDefaults) {
  QSettings store = Store();
  const ProgrammerSettings settings = LoadSettings(store);
  EXPECT_EQ(settings.mcuType, 3);
  EXPECT_FALSE(settings.eraseAll);
  EXPECT_FALSE(settings.useCsm);
  EXPECT_EQ(settings.fileDirectory, "");
  EXPECT_EQ(settings.podFileName, "");
  EXPECT_EQ(settings.keys, kErasedCsmKeys);
  EXPECT_TRUE(settings.recentFiles.isEmpty());
}

TEST_F(ProgrammerSettingsTest, NumbersAreCutToTheirWidth) {
  struct Case {
    const char* stored;
    int mcuType;
    uint16_t key;
  };
  const Case cases[] = {
      {"9", 9, 9},            // above the last device: the window clamps it
      {"256", 0, 256},        // low 8 bits of the device
      {"-1", 255, 0xFFFF},    // a negative number is its low bits too
      {"74565", 69, 0x2345},  // 0x12345
      {"abc", 0, 0},          // no number at all reads as 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    QSettings store = Store();
    store.setValue("Main Configuration/MCU Type", c.stored);
    store.setValue("Main Configuration/PW KEY5", c.stored);
    const ProgrammerSettings settings = LoadSettings(store);
    EXPECT_EQ(settings.mcuType, c.mcuType);
    EXPECT_EQ(settings.keys[5], c.key);
    EXPECT_EQ(settings.keys[4], 0xFFFF);
  }
}

TEST_F(ProgrammerSettingsTest, RecentFilesSkipMissingOnesAndStopAtTheFirstEmptyValue) {
  const QString a = files_.Write("a.out", {1});
  const QString c = files_.Write("c.out", {1});
  const QString d = files_.Write("d.out", {1});
  QSettings store = Store();
  store.setValue("File List/Recent File0", a);
  store.setValue("File List/Recent File1", files_.Folder() + "deleted.out");
  store.setValue("File List/Recent File2", c);
  store.setValue("File List/Recent File3", "");
  store.setValue("File List/Recent File4", d);
  EXPECT_EQ(LoadSettings(store).recentFiles, QStringList({a, c}));

  store.remove("File List/Recent File3");
  EXPECT_EQ(LoadSettings(store).recentFiles, QStringList({a, c}))
      << "a number missing ends the list as an empty value does";

  // Only numbers 0 to 9 belong to the list.
  store.clear();
  for (int i = 0; i < 11; ++i) {
    store.setValue(QStringLiteral("File List/Recent File%1").arg(i), a);
  }
  EXPECT_EQ(LoadSettings(store).recentFiles.size(), 10);
}

TEST_F(ProgrammerSettingsTest, SavedSettingsReadBackAndAShorterListLeavesNoOldEntries) {
  QStringList files;
  for (int i = 0; i < 12; ++i) {
    files << files_.Write(QStringLiteral("p%1.out").arg(i), {1});
  }
  QSettings store = Store();
  ProgrammerSettings saved;
  saved.mcuType = 1;
  saved.eraseAll = true;
  saved.useCsm = true;
  saved.fileDirectory = files_.Folder() + QStringLiteral("펌웨어/");
  saved.podFileName = QStringLiteral("MOTOR");
  saved.keys = {0x0001, 0x2345, 0xFFFF, 0x0000, 0xABCD, 0x8000, 0x7FFF, 0x1111};
  saved.recentFiles = files.mid(0, 10);
  SaveSettings(store, saved);
  EXPECT_EQ(LoadSettings(store), saved);
  // The names the registry had on the original platform.
  EXPECT_EQ(store.value("Main Configuration/PW KEY4").toInt(), 0xABCD);
  EXPECT_EQ(store.value("Main Configuration/CSM Use Option").toInt(), 1);
  EXPECT_EQ(store.value("File List/Recent File9").toString(), files[9]);

  // Two entries now, one of them deleted since: only one is written and the
  // numbers above it are gone, so the next start does not read on into them.
  QFile::remove(files[1]);
  saved.recentFiles = {files[1], files[11]};
  SaveSettings(store, saved);
  EXPECT_EQ(store.value("File List/Recent File0").toString(), files[11]);
  for (int i = 1; i < 10; ++i) {
    EXPECT_FALSE(store.contains(QStringLiteral("File List/Recent File%1").arg(i))) << i;
  }
  EXPECT_EQ(LoadSettings(store).recentFiles, QStringList({files[11]}));
}

TEST_F(ProgrammerSettingsTest, KeysWorthKeeping) {
  // Blanks alone read as an empty edit, as the operations read them, so the
  // word kept is the one a write would have used.
  const CsmKeyTexts typed{"1234", "", " 1a ", "    ", "0000", "G1", "0x7F", "ABCD"};
  const CsmKeys typedWords{0x1234, 0xFFFF, 0x001A, 0xFFFF, 0x0000, 0x0000, 0x007F, 0xABCD};
  EXPECT_EQ(KeysToSave(true, typed), typedWords);
  EXPECT_EQ(KeysToSave(false, typed), kErasedCsmKeys) << "keys typed with the CSM option off";
  const CsmKeyTexts zeros{"0000", "0", "00", "0000", "0000", "0000", "0000", "0"};
  EXPECT_EQ(KeysToSave(true, zeros), kErasedCsmKeys) << "eight zero words are no password";
  EXPECT_EQ(KeysToSave(true, CsmKeyTexts{}), kErasedCsmKeys);
}

}  // namespace

TEST_F(ProgrammerSettingsTest, TheFileHoldingTheKeysIsReadableByItsOwnerOnly) {
  const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  const QString path = dir_.filePath("settings.ini");
  const struct {
    const char* name;
    bool existsReadable;  // an older file left world-readable
    std::function<void(QSettings&)> save;
  } cases[] = {
      {"every setting, new file", false,
       [](QSettings& store) { SaveSettings(store, ProgrammerSettings{}); }},
      {"every setting, readable file", true,
       [](QSettings& store) { SaveSettings(store, ProgrammerSettings{}); }},
      {"the browse folder, new file", false,
       [](QSettings& store) { SaveFileDirectory(store, "/tmp/"); }},
  };
  const mode_t previousMask = umask(022);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(path);
    if (c.existsReadable) {
      QFile(path).open(QIODevice::WriteOnly,
                       ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    {
      QSettings store = Store();
      c.save(store);
    }
    EXPECT_EQ(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              ownerOnly);
    EXPECT_GT(QFile(path).size(), 0) << "the values were written";
  }
  umask(previousMask);
}
