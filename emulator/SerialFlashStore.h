// The POD's serial flash as the firmware keeps it: section records, 264-byte
// program pages, the CSM password, the tag and the COFF information, with the
// access bracket G..H and an optional state file that outlives the process.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "emulator/BackgroundJobs.h"
#include "emulator/Refusal.h"
#include "emulator/StateFile.h"
#include "pod/CsmKeys.h"

struct StoredSection {
  uint32_t address = 0;  // word address on the target
  uint32_t wordCount = 0;
  uint32_t offset = 0;  // byte offset of its data among the program pages
  bool operator==(const StoredSection&) const = default;
};

struct StoredCoffInfo {
  uint8_t podCode = 0;
  uint8_t csmFlag = 0;
  uint16_t sectorMask = 0;
  uint8_t eraseAll = 0;
  bool operator==(const StoredCoffInfo&) const = default;
};

using StoredTag = std::array<uint8_t, 14>;

struct SerialFlashContents {
  std::map<uint8_t, StoredSection> sections;       // by ordinal
  std::map<uint16_t, std::vector<uint8_t>> pages;  // by page number
  std::optional<CsmKeys> password;
  std::optional<StoredTag> tag;
  std::optional<StoredCoffInfo> coffInfo;

  bool operator==(const SerialFlashContents&) const = default;
  // The pages laid end to end in page order: the stored program data.
  std::vector<uint8_t> ProgramBytes() const;
};

class SerialFlashStore {
 public:
  static constexpr uint32_t kPageBytes = 264;

  // Reads the state file at `statePath` when one exists. A file that cannot be
  // read is left untouched and never overwritten; LoadError() says why.
  // Saving leaves no other file beside it but "<statePath>.lock".
  explicit SerialFlashStore(std::string statePath = {});

  const std::string& LoadError() const { return loadError_; }
  // Writes the state file if the contents changed since it was read or written,
  // after the saves handed to the saving thread. False when writing failed;
  // SaveError() says why.
  bool Save();
  const std::string& SaveError() const { return saveError_; }
  // The same on a thread of the store's own: returns at once, with the
  // contents as they are now on their way. A failure shows in SaveError()
  // once WaitForSaves() or a write that persists (P, T, Q) sees it, and
  // such writes are refused until a save succeeds.
  void SaveInBackground();
  // Returns once the saves and the release handed to that thread are done.
  void WaitForSaves();

  // Claims the state file for this process while a PC has the POD open, and
  // takes up what another process may have stored since it was read. False
  // when another process has it; `why` says which.
  bool Claim(std::string& why);
  // Gives the state file up once the saves before it have landed.
  void Release();

  const SerialFlashContents& Contents() const { return contents_; }
  // For tests that need a POD holding a program already.
  void Replace(SerialFlashContents contents);

  // G opens an access; the first write of an access clears the old program,
  // since it is about to be overwritten. H closes the access. i abandons it: a
  // store that wrote anything leaves no valid program behind.
  void Begin();
  void End();
  void Abort();
  bool AccessOpen() const { return accessOpen_; }

  Refusal PutSection(uint32_t ordinal, const StoredSection& section);
  Refusal PutPage(uint32_t page, std::vector<uint8_t> bytes);
  // Nothing when the page is stored with exactly these bytes.
  Refusal ComparePage(uint32_t page, const std::vector<uint8_t>& bytes) const;
  Refusal PutPassword(const CsmKeys& keys);
  Refusal PutTag(const StoredTag& tag);
  Refusal PutCoffInfo(const StoredCoffInfo& info);

 private:
  Refusal StartWrite();
  // Saves before a write is acknowledged, so a POD whose state cannot be kept
  // refuses the write instead of reporting it done. PersistNow waits for the
  // file; Persist saves in the background and refuses when an earlier
  // background save failed.
  Refusal PersistNow();
  Refusal Persist();
  Refusal Unsaved() const;
  // Takes the outcome of the last background save, if one ended since, into SaveError().
  void TakeBackgroundResult();
  // Replaces the state file at `path` with `contents`; empty, or why not.
  static std::string Write(const std::string& path, const SerialFlashContents& contents);
  Refusal CheckPage(uint32_t page, size_t bytes) const;
  bool Read(std::string& error);

  std::string statePath_;
  std::string loadError_;
  std::string saveError_;
  StateLock lock_;
  SerialFlashContents contents_;
  bool accessOpen_ = false;
  bool writtenInAccess_ = false;
  bool dirty_ = false;
  // What the saving thread is to write next and what it failed to, under
  // background_; the thread itself comes last, so it ends before they go.
  std::mutex background_;
  std::optional<SerialFlashContents> toSave_;
  std::optional<std::string> backgroundResult_;  // empty text: written
  BackgroundJobs saves_;
};
