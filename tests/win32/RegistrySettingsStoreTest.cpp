// The registry store: every setting under its section's key, integers as
// DWORD values and strings as REG_SZ, Korean text whole, and removal.
#include "win32/RegistrySettingsStore.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "dialog/ProgrammerSettings.h"
#include "tests/support/ScratchDir.h"
#include "win32/WideText.h"

namespace {

class RegistrySettingsStoreTest : public testing::Test {
 protected:
  // A key of the test's own, so the user's settings stay as they are.
  RegistrySettingsStoreTest()
      : application_("brontaflex-test-" + std::to_string(GetCurrentProcessId())),
        store_("Veskora", application_) {}
  ~RegistrySettingsStoreTest() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, store_.keyPath().c_str());
  }

  DWORD TypeOf(const std::string& section, const std::string& key) const {
    DWORD type = REG_NONE;
    RegGetValueW(HKEY_CURRENT_USER, (store_.keyPath() + L"\\" + Wide(section)).c_str(),
                 Wide(key).c_str(), RRF_RT_ANY, &type, nullptr, nullptr);
    return type;
  }

  std::string application_;
  RegistrySettingsStore store_;
  ScratchDir dir_;
};

TEST_F(RegistrySettingsStoreTest, SettingsReadBackUnderTheirKeysAndKinds) {
  EXPECT_EQ(LoadSettings(store_), ProgrammerSettings{}) << "an empty key gives the defaults";
  ProgrammerSettings saved;
  saved.mcuType = kF2809;
  saved.useCsm = true;
  saved.keys[7] = 0xBEEF;
  saved.fileDirectory = Utf8FromPath(dir_.path()) + "\\펌웨어 폴더\\";
  saved.podFileName = "모터";
  saved.recentFiles = {dir_.Write("보드 1.out", {1}), dir_.Write("b.out", {1})};
  SaveSettings(store_, saved);
  EXPECT_EQ(LoadSettings(store_), saved);
  EXPECT_EQ(store_.keyPath(), L"Software\\Veskora\\" + Wide(application_));
  EXPECT_EQ(TypeOf("Main Configuration", "MCU Type"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("Main Configuration", "PW KEY7"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("Main Configuration", "EEP File Name"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(TypeOf("File List", "Recent File1"), static_cast<DWORD>(REG_SZ));

  saved.recentFiles.pop_back();
  SaveSettings(store_, saved);
  EXPECT_EQ(TypeOf("File List", "Recent File1"), static_cast<DWORD>(REG_NONE)) << "removed";
}

TEST_F(RegistrySettingsStoreTest, AnIntegerStoredAsTextReadsAsTheNumberItSpells) {
  store_.WriteString("Main Configuration", "MCU Type", "9");
  store_.WriteString("Main Configuration", "PW KEY0", "abc");
  EXPECT_EQ(store_.ReadInteger("Main Configuration", "MCU Type", 3), 9u);
  EXPECT_EQ(store_.ReadInteger("Main Configuration", "PW KEY0", 0xFFFF), 0u);
  EXPECT_EQ(store_.ReadInteger("Main Configuration", "PW KEY1", 0xFFFF), 0xFFFFu);
}

}  // namespace
