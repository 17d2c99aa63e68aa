// What the window remembers between runs: device, erase mode, CSM option and
// keys, browse folder, POD file name and the recent files, as one value that
// the window reads once at start and writes once at its end, in the sections
// and under the keys every earlier version used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialog/SettingsStore.h"
#include "image/McuCatalogue.h"
#include "ops/OperationRequest.h"
#include "pod/CsmKeys.h"

// The File Path list never holds more entries than this.
inline constexpr int kMaxRecentFiles = 10;

struct ProgrammerSettings {
  // The low 8 bits of the stored value; past the last device, the last one.
  McuType mcuType = kDefaultMcuType;
  bool eraseAll = false;
  bool useCsm = false;
  std::string fileDirectory;  // where the browse dialog opens
  std::string podFileName;    // the name the last POD Write stored
  CsmKeys keys = kErasedCsmKeys;
  std::vector<std::string> recentFiles;  // most recent first

  bool operator==(const ProgrammerSettings&) const = default;
};

// Reads every value from `store`; a missing one takes its default. The recent
// files stop at the first empty value, and files that no longer exist are left
// out so that the later ones close up.
ProgrammerSettings LoadSettings(SettingsStore& store);

// Writes every value to `store`. The recent files that still exist are written
// from number 0 up, at most ten, and the numbers above them are removed so an
// older, longer list does not come back at the next start.
void SaveSettings(SettingsStore& store, const ProgrammerSettings& settings);

// The browse dialog remembers its folder at once, not only at the window's end.
void SaveFileDirectory(SettingsStore& store, const std::string& directory);

// The keys worth keeping: the typed words while the CSM option is on, erased
// otherwise; eight zero words are no password and are kept erased too.
CsmKeys KeysToSave(bool useCsm, const CsmKeyTexts& keyTexts);

// True when a file (of any kind) is at the UTF-8 `path`.
bool FileExists(const std::string& path);
