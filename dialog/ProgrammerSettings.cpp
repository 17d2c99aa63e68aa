#include "dialog/ProgrammerSettings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "image/Utf8Path.h"
#include "ops/UserText.h"

namespace {

const std::string kMainSection = "Main Configuration";
const std::string kFileListSection = "File List";
const std::string kMcuType = "MCU Type";
const std::string kEraseAll = "EraseAll Mode";
const std::string kUseCsm = "CSM Use Option";
const std::string kFileDirectory = "File Directory";
const std::string kPodFileName = "EEP File Name";

std::string KeyName(size_t k) {
  return "PW KEY" + std::to_string(k);
}

std::string RecentFileName(int i) {
  return "Recent File" + std::to_string(i);
}

}  // namespace

bool FileExists(const std::string& path) {
  const std::filesystem::path name = PathFromUtf8(path);
  std::error_code error;
  return !name.empty() && std::filesystem::exists(name, error);
}

ProgrammerSettings LoadSettings(SettingsStore& store) {
  ProgrammerSettings settings;
  // Cut to the byte it is kept in, as every stored number is to its width.
  settings.mcuType = McuType::Nearest(
      static_cast<uint8_t>(store.ReadInteger(kMainSection, kMcuType, kDefaultMcuType.index())));
  settings.eraseAll = store.ReadInteger(kMainSection, kEraseAll, 0) != 0;
  settings.useCsm = store.ReadInteger(kMainSection, kUseCsm, 0) != 0;
  settings.fileDirectory = store.ReadString(kMainSection, kFileDirectory, {});
  settings.podFileName = store.ReadString(kMainSection, kPodFileName, {});
  for (size_t k = 0; k < settings.keys.size(); ++k) {
    settings.keys[k] = static_cast<uint16_t>(store.ReadInteger(kMainSection, KeyName(k), 0xFFFF));
  }
  for (int i = 0; i < kMaxRecentFiles; ++i) {
    const std::string path = store.ReadString(kFileListSection, RecentFileName(i), {});
    if (path.empty()) {
      break;
    }
    if (FileExists(path)) {
      settings.recentFiles.push_back(path);
    }
  }
  return settings;
}

void SaveSettings(SettingsStore& store, const ProgrammerSettings& settings) {
  store.WriteInteger(kMainSection, kMcuType, settings.mcuType.index());
  store.WriteInteger(kMainSection, kEraseAll, settings.eraseAll ? 1 : 0);
  store.WriteInteger(kMainSection, kUseCsm, settings.useCsm ? 1 : 0);
  store.WriteString(kMainSection, kFileDirectory, settings.fileDirectory);
  store.WriteString(kMainSection, kPodFileName, settings.podFileName);
  for (size_t k = 0; k < settings.keys.size(); ++k) {
    store.WriteInteger(kMainSection, KeyName(k), settings.keys[k]);
  }
  int written = 0;
  for (const std::string& path : settings.recentFiles) {
    if (path.empty() || written == kMaxRecentFiles) {
      break;
    }
    if (FileExists(path)) {
      store.WriteString(kFileListSection, RecentFileName(written++), path);
    }
  }
  for (int i = written; i < kMaxRecentFiles; ++i) {
    store.Remove(kFileListSection, RecentFileName(i));
  }
  store.Flush();
}

void SaveFileDirectory(SettingsStore& store, const std::string& directory) {
  store.WriteString(kMainSection, kFileDirectory, directory);
  store.Flush();
}

CsmKeys KeysToSave(bool useCsm, const CsmKeyTexts& keyTexts) {
  if (!useCsm) {
    return kErasedCsmKeys;
  }
  CsmKeys keys;
  std::ranges::transform(keyTexts, keys.begin(), ParseKeyText);
  if (std::ranges::all_of(keys, [](uint16_t word) { return word == 0; })) {
    return kErasedCsmKeys;
  }
  return keys;
}
