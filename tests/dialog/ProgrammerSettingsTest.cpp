// The settings as stored: defaults, values cut to their width, the recent-file
// list as read and as written back, and the keys that are worth keeping.
#include "dialog/ProgrammerSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ScratchDir.h"

namespace {

const std::string kMain = "Main Configuration";
const std::string kList = "File List";

std::string RecentKey(int i) {
  return "Recent File" + std::to_string(i);
}

class ProgrammerSettingsTest : public testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.Write(name, {1}); }

  MemorySettingsStore store_;
  ScratchDir dir_;
};

TEST_F(ProgrammerSettingsTest, EmptyStoreGivesTheDefaults) {
  EXPECT_EQ(LoadSettings(store_), ProgrammerSettings{});
  const ProgrammerSettings defaults;
  EXPECT_EQ(defaults.mcuType, kF2808);
  EXPECT_FALSE(defaults.eraseAll || defaults.useCsm);
  EXPECT_EQ(defaults.keys, kErasedCsmKeys);
}

TEST_F(ProgrammerSettingsTest, NumbersAreCutToTheirWidth) {
  const struct {
    const char* stored;
    McuType mcuType;
    uint16_t key;
  } cases[] = {
      {"9", kF2809, 9},           // above the last device: the last one
      {"256", kF2801, 256},       // low 8 bits of the device
      {"-1", kF2809, 0xFFFF},     // a negative number is its low bits too (255)
      {"74565", kF2809, 0x2345},  // 0x12345: 0x45
      {"abc", kF2801, 0},         // no number at all reads as 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    store_.WriteString(kMain, "MCU Type", c.stored);
    store_.WriteString(kMain, "PW KEY5", c.stored);
    const ProgrammerSettings settings = LoadSettings(store_);
    EXPECT_EQ(settings.mcuType, c.mcuType);
    EXPECT_EQ(settings.keys[5], c.key);
    EXPECT_EQ(settings.keys[4], 0xFFFF);
  }
}

TEST_F(ProgrammerSettingsTest, RecentFilesSkipMissingOnesAndStopAtTheFirstEmptyValue) {
  const std::string a = File("a.out");
  const std::string c = File("c.out");
  store_.WriteString(kList, RecentKey(0), a);
  store_.WriteString(kList, RecentKey(1), (dir_.path() / "deleted.out").string());
  store_.WriteString(kList, RecentKey(2), c);
  store_.WriteString(kList, RecentKey(3), "");
  store_.WriteString(kList, RecentKey(4), File("d.out"));
  EXPECT_EQ(LoadSettings(store_).recentFiles, (std::vector{a, c}));

  store_.Remove(kList, RecentKey(3));
  EXPECT_EQ(LoadSettings(store_).recentFiles, (std::vector{a, c}))
      << "a number missing ends the list as an empty value does";

  // Only numbers 0 to 9 belong to the list.
  for (int i = 0; i < 11; ++i) {
    store_.WriteString(kList, RecentKey(i), a);
  }
  EXPECT_EQ(LoadSettings(store_).recentFiles.size(), 10u);
}

TEST_F(ProgrammerSettingsTest, SavedSettingsReadBackAndAShorterListLeavesNoOldEntries) {
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) {
    files.push_back(File("p" + std::to_string(i) + ".out"));
  }
  ProgrammerSettings saved;
  saved.mcuType = kF2802;
  saved.eraseAll = true;
  saved.useCsm = true;
  saved.fileDirectory = (dir_.path() / "펌웨어/").string();
  saved.podFileName = "MOTOR";
  saved.keys = {0x0001, 0x2345, 0xFFFF, 0x0000, 0xABCD, 0x8000, 0x7FFF, 0x1111};
  saved.recentFiles.assign(files.begin(), files.begin() + 10);
  SaveSettings(store_, saved);
  EXPECT_EQ(LoadSettings(store_), saved);
  EXPECT_EQ(store_.flushes(), 1);
  // The names and kinds every earlier version used.
  EXPECT_EQ(store_.Find(kMain, "PW KEY4"), MemorySettingsStore::Value(0xABCDu));
  EXPECT_EQ(store_.Find(kMain, "CSM Use Option"), MemorySettingsStore::Value(1u));
  EXPECT_EQ(store_.Find(kMain, "EEP File Name"), MemorySettingsStore::Value("MOTOR"));
  EXPECT_EQ(store_.Find(kList, RecentKey(9)), MemorySettingsStore::Value(files[9]));

  // Two entries now, one of them deleted since: only one is written and the
  // numbers above it are gone, so the next start does not read on into them.
  std::filesystem::remove(files[1]);
  saved.recentFiles = {files[1], files[11]};
  SaveSettings(store_, saved);
  EXPECT_EQ(store_.Find(kList, RecentKey(0)), MemorySettingsStore::Value(files[11]));
  for (int i = 1; i < 10; ++i) {
    EXPECT_FALSE(store_.Find(kList, RecentKey(i))) << i;
  }
  EXPECT_EQ(LoadSettings(store_).recentFiles, std::vector{files[11]});
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
