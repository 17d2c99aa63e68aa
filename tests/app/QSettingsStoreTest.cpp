// The Qt window's settings store: the INI file under the names every earlier
// version used, integers as the registry hands them over, and a file and
// folders that only their owner may read.
#include "app/QSettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include <sys/stat.h>

#include "dialog/ProgrammerSettings.h"
#include "tests/app/WindowTestSupport.h"

namespace {

class QSettingsStoreTest : public testing::Test {
 protected:
  QString Path() const { return dir_.filePath("settings.ini"); }

  QTemporaryDir dir_;
  ScratchFiles files_;
};

TEST_F(QSettingsStoreTest, ValuesLandUnderTheirSectionsAndIntegersKeepTheirLow32Bits) {
  {
    QSettingsStore store(Path());
    ProgrammerSettings saved;
    saved.useCsm = true;
    saved.keys[4] = 0xABCD;
    saved.fileDirectory = files_.Folder().toStdString() + "펌웨어/";
    saved.recentFiles = {files_.Write("p.out", {1}).toStdString()};
    SaveSettings(store, saved);
    EXPECT_EQ(LoadSettings(store), saved);
  }
  QSettings ini(Path(), QSettings::IniFormat);
  EXPECT_EQ(ini.value("Main Configuration/PW KEY4").toInt(), 0xABCD);
  EXPECT_EQ(ini.value("Main Configuration/CSM Use Option").toInt(), 1);
  EXPECT_EQ(ini.value("File List/Recent File0").toString(), files_.Folder() + "p.out");

  const struct {
    const char* stored;
    uint32_t read;
  } cases[] = {{"9", 9}, {"-1", 0xFFFFFFFF}, {"4294967297", 1}, {"abc", 0}};
  for (const auto& c : cases) {
    ini.setValue("Main Configuration/MCU Type", c.stored);
    ini.sync();
    QSettingsStore store(Path());
    EXPECT_EQ(store.ReadInteger("Main Configuration", "MCU Type", 3), c.read) << c.stored;
    EXPECT_EQ(store.ReadInteger("Main Configuration", "No Such Key", 7), 7u) << "absent";
  }
}

TEST_F(QSettingsStoreTest, TheFileHoldingTheKeysAndItsFoldersAreReadableByTheirOwnerOnly) {
  const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  const QString path = dir_.filePath("Veskora/new/settings.ini");
  const struct {
    const char* name;
    bool existsReadable;  // an older file left world-readable
    std::function<void(SettingsStore&)> save;
  } cases[] = {
      {"every setting, new file", false,
       [](SettingsStore& store) { SaveSettings(store, ProgrammerSettings{}); }},
      {"every setting, readable file", true,
       [](SettingsStore& store) { SaveSettings(store, ProgrammerSettings{}); }},
      {"the browse folder, new file", false,
       [](SettingsStore& store) { SaveFileDirectory(store, "/tmp/"); }},
  };
  // Whatever the umask, even none at all.
  const mode_t previousMask = umask(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(dir_.filePath("Veskora")).removeRecursively();
    if (c.existsReadable) {
      QDir().mkpath(dir_.filePath("Veskora/new"));
      QFile(path).open(QIODevice::WriteOnly,
                       ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    {
      QSettingsStore store(path);
      c.save(store);
    }
    EXPECT_EQ(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              ownerOnly);
    EXPECT_GT(QFile(path).size(), 0) << "the values were written";
    if (!c.existsReadable) {
      for (const char* folder : {"Veskora", "Veskora/new"}) {
        struct stat info {};
        ASSERT_EQ(stat(dir_.filePath(folder).toLocal8Bit().constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
      }
    }
  }
  umask(previousMask);
}

TEST_F(QSettingsStoreTest, AReadOnlyStoreReadsButNeverWrites) {
  EmptySettings();
  {
    QSettings settings;
    settings.setValue("Main Configuration/EEP File Name", "KEPT");
  }
  QSettingsStore store(true);
  ProgrammerSettings changed = LoadSettings(store);
  EXPECT_EQ(changed.podFileName, "KEPT");
  changed.podFileName = "CHANGED";
  SaveSettings(store, changed);
  EXPECT_EQ(QSettings().value("Main Configuration/EEP File Name").toString(), "KEPT");
}

}  // namespace
