#include "emulator/SerialFlashStore.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "emulator/FrameParser.h"
#include "image/McuCatalogue.h"
#include "image/Utf8Path.h"

namespace {

constexpr char kStateHeader[] = "brontaflex-pod-store 1";

std::string ToHex(const uint8_t* bytes, size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 2);
  for (size_t n = 0; n < count; ++n) {
    text.push_back(kDigits[bytes[n] >> 4]);
    text.push_back(kDigits[bytes[n] & 0x0F]);
  }
  return text;
}

std::optional<std::vector<uint8_t>> FromHex(const std::string& text) {
  if (text.size() % 2 != 0 || !IsUpperHex(text)) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(text.size() / 2);
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::from_chars(text.data() + 2 * n, text.data() + 2 * n + 2, bytes[n], 16);
  }
  return bytes;
}

std::string KeysToHex(const CsmKeys& keys) {
  std::array<uint8_t, 16> bytes;
  for (size_t n = 0; n < keys.size(); ++n) {
    bytes[2 * n] = static_cast<uint8_t>(keys[n] >> 8);
    bytes[2 * n + 1] = static_cast<uint8_t>(keys[n]);
  }
  return ToHex(bytes.data(), bytes.size());
}

// One line of the state file into the contents; false when it makes no sense.
bool ReadStateLine(const std::string& line, SerialFlashContents& contents) {
  std::istringstream in(line);
  std::string kind;
  in >> kind;
  if (kind == "section") {
    unsigned ordinal = 0;
    StoredSection section;
    in >> ordinal >> std::hex >> section.address >> section.wordCount >> section.offset;
    if (!in || ordinal >= kPodMaxSections) {
      return false;
    }
    contents.sections[static_cast<uint8_t>(ordinal)] = section;
  } else if (kind == "page") {
    unsigned page = 0;
    std::string hex;
    in >> page >> hex;
    const auto bytes = FromHex(hex);
    if (!in || !bytes || bytes->empty() || bytes->size() > SerialFlashStore::kPageBytes ||
        page > 0xFFFF) {
      return false;
    }
    contents.pages[static_cast<uint16_t>(page)] = *bytes;
  } else if (kind == "password") {
    std::string hex;
    in >> hex;
    const auto bytes = FromHex(hex);
    if (!bytes || bytes->size() != 16) {
      return false;
    }
    CsmKeys keys;
    for (size_t n = 0; n < keys.size(); ++n) {
      keys[n] = static_cast<uint16_t>((*bytes)[2 * n] << 8 | (*bytes)[2 * n + 1]);
    }
    contents.password = keys;
  } else if (kind == "tag") {
    std::string hex;
    in >> hex;
    const auto bytes = FromHex(hex);
    if (!bytes || bytes->size() != StoredTag{}.size()) {
      return false;
    }
    StoredTag tag;
    std::copy(bytes->begin(), bytes->end(), tag.begin());
    contents.tag = tag;
  } else if (kind == "coff") {
    unsigned podCode = 0, csmFlag = 0, mask = 0, eraseAll = 0;
    in >> podCode >> csmFlag >> std::hex >> mask >> std::dec >> eraseAll;
    if (!in || podCode > 0xF || csmFlag > 0xF || mask > 0xFFFF || eraseAll > 0xFF) {
      return false;
    }
    contents.coffInfo = StoredCoffInfo{static_cast<uint8_t>(podCode), static_cast<uint8_t>(csmFlag),
                                       static_cast<uint16_t>(mask), static_cast<uint8_t>(eraseAll)};
  } else {
    return false;
  }
  std::string rest;
  return !(in >> rest);
}

}  // namespace

std::vector<uint8_t> SerialFlashContents::ProgramBytes() const {
  std::vector<uint8_t> bytes;
  for (const auto& [number, page] : pages) {
    bytes.insert(bytes.end(), page.begin(), page.end());
  }
  return bytes;
}

SerialFlashStore::SerialFlashStore(std::string statePath)
    : statePath_(std::move(statePath)), lock_(statePath_) {
  std::error_code unknown;
  if (!statePath_.empty() && std::filesystem::exists(PathFromUtf8(statePath_), unknown) &&
      !Read(loadError_)) {
    loadError_ = "cannot read the POD state file " + statePath_ + ": " + loadError_;
  }
}

bool SerialFlashStore::Claim(std::string& why) {
  if (statePath_.empty()) {
    return true;
  }
  // A release handed to the saving thread is done first.
  WaitForSaves();
  if (!lock_.TryLock(why)) {
    return false;
  }
  // Only a holder of the lock saves, so no other save can be under way.
  RemoveStaleTemporaries(statePath_);
  std::error_code unknown;
  std::string error;
  if (loadError_.empty() && !dirty_ && std::filesystem::exists(PathFromUtf8(statePath_), unknown) &&
      !Read(error)) {
    loadError_ = "cannot read the POD state file " + statePath_ + ": " + error;
  }
  return true;
}

void SerialFlashStore::Release() {
  if (statePath_.empty()) {
    return;
  }
  // After the saves before it: nobody may read the file before they land.
  saves_.Post([this] { lock_.Unlock(); });
}

bool SerialFlashStore::Read(std::string& error) {
  std::ifstream file(PathFromUtf8(statePath_));
  if (!file) {
    error = "it cannot be opened";
    return false;
  }
  std::string line;
  // An empty file is a POD that holds nothing yet.
  if (file.peek() == std::ifstream::traits_type::eof()) {
    return true;
  }
  if (!std::getline(file, line) || line != kStateHeader) {
    error = "not a POD state file";
    return false;
  }
  SerialFlashContents contents;
  for (int number = 2; std::getline(file, line); ++number) {
    if (!line.empty() && !ReadStateLine(line, contents)) {
      error = "line " + std::to_string(number) + " is damaged";
      return false;
    }
  }
  contents_ = std::move(contents);
  return true;
}

bool SerialFlashStore::Save() {
  WaitForSaves();
  if (statePath_.empty() || !dirty_) {
    return true;
  }
  // A file we could not read may still be someone's only copy.
  if (!loadError_.empty()) {
    return false;
  }
  saveError_ = Write(statePath_, contents_);
  if (!saveError_.empty()) {
    return false;
  }
  dirty_ = false;
  return true;
}

void SerialFlashStore::SaveInBackground() {
  if (statePath_.empty() || !dirty_ || !loadError_.empty()) {
    return;
  }
  dirty_ = false;
  {
    const std::lock_guard lock(background_);
    toSave_ = contents_;
  }
  // Saves posted while one is written coalesce: the first job to run writes
  // the latest contents, and the others find nothing left to do.
  saves_.Post([this] {
    std::unique_lock lock(background_);
    std::optional<SerialFlashContents> contents = std::exchange(toSave_, std::nullopt);
    lock.unlock();
    if (contents) {
      std::string error = Write(statePath_, *contents);
      lock.lock();
      backgroundResult_ = std::move(error);
    }
  });
}

void SerialFlashStore::WaitForSaves() {
  saves_.Wait();
  TakeBackgroundResult();
}

void SerialFlashStore::TakeBackgroundResult() {
  const std::lock_guard lock(background_);
  if (backgroundResult_) {
    saveError_ = *std::exchange(backgroundResult_, std::nullopt);
    // What failed to be written is still to be.
    dirty_ = dirty_ || !saveError_.empty();
  }
}

std::string SerialFlashStore::Write(const std::string& path, const SerialFlashContents& contents) {
  std::ostringstream file;
  file << kStateHeader << '\n';
  for (const auto& [ordinal, section] : contents.sections) {
    file << "section " << unsigned{ordinal} << std::hex << std::uppercase << ' ' << section.address
         << ' ' << section.wordCount << ' ' << section.offset << std::dec << '\n';
  }
  for (const auto& [number, page] : contents.pages) {
    file << "page " << number << ' ' << ToHex(page.data(), page.size()) << '\n';
  }
  if (contents.password) {
    file << "password " << KeysToHex(*contents.password) << '\n';
  }
  if (contents.tag) {
    file << "tag " << ToHex(contents.tag->data(), contents.tag->size()) << '\n';
  }
  if (const auto& info = contents.coffInfo) {
    file << "coff " << unsigned{info->podCode} << ' ' << unsigned{info->csmFlag} << ' ' << std::hex
         << std::uppercase << info->sectorMask << std::dec << ' ' << unsigned{info->eraseAll}
         << '\n';
  }
  const std::string error = ReplaceFile(path, file.str());
  return error.empty() ? error : "cannot save the POD state file " + path + ": " + error;
}

Refusal SerialFlashStore::Unsaved() const {
  return saveError_.empty() ? "the POD state file could not be read, so it is not overwritten"
                            : saveError_;
}

Refusal SerialFlashStore::PersistNow() {
  return Save() ? std::nullopt : Unsaved();
}

Refusal SerialFlashStore::Persist() {
  SaveInBackground();
  TakeBackgroundResult();
  const bool kept = statePath_.empty() || (loadError_.empty() && saveError_.empty());
  return kept ? std::nullopt : Unsaved();
}

void SerialFlashStore::Replace(SerialFlashContents contents) {
  contents_ = std::move(contents);
  dirty_ = true;
}

void SerialFlashStore::Begin() {
  accessOpen_ = true;
  writtenInAccess_ = false;
}

void SerialFlashStore::End() {
  accessOpen_ = false;
}

void SerialFlashStore::Abort() {
  if (accessOpen_ && writtenInAccess_) {
    contents_ = {};
    dirty_ = true;
  }
  accessOpen_ = false;
}

Refusal SerialFlashStore::StartWrite() {
  if (!accessOpen_) {
    return "no serial-flash access is open (G)";
  }
  if (!writtenInAccess_) {
    contents_ = {};
    writtenInAccess_ = true;
    dirty_ = true;
    // The old program is gone once a write begins; and a state file that
    // cannot be kept shows at the first write, not after the whole program.
    if (auto refusal = PersistNow()) {
      return refusal;
    }
  }
  // For the write about to be made, which that save did not hold yet.
  dirty_ = true;
  return std::nullopt;
}

Refusal SerialFlashStore::CheckPage(uint32_t page, size_t bytes) const {
  if (bytes == 0 || bytes > kPageBytes) {
    return "a page holds 1 to 264 bytes";
  }
  if (page * kPageBytes + bytes > kPodMaxBytes) {
    return "the page lies beyond the serial flash";
  }
  return std::nullopt;
}

Refusal SerialFlashStore::PutSection(uint32_t ordinal, const StoredSection& section) {
  if (ordinal >= kPodMaxSections) {
    return "the POD keeps at most 70 sections";
  }
  if (auto refusal = StartWrite()) {
    return refusal;
  }
  contents_.sections[static_cast<uint8_t>(ordinal)] = section;
  return std::nullopt;
}

Refusal SerialFlashStore::PutPage(uint32_t page, std::vector<uint8_t> bytes) {
  if (auto refusal = CheckPage(page, bytes.size())) {
    return refusal;
  }
  if (auto refusal = StartWrite()) {
    return refusal;
  }
  contents_.pages[static_cast<uint16_t>(page)] = std::move(bytes);
  return std::nullopt;
}

Refusal SerialFlashStore::ComparePage(uint32_t page, const std::vector<uint8_t>& bytes) const {
  if (!accessOpen_) {
    return "no serial-flash access is open (G)";
  }
  if (auto refusal = CheckPage(page, bytes.size())) {
    return refusal;
  }
  const auto stored = contents_.pages.find(static_cast<uint16_t>(page));
  if (stored == contents_.pages.end()) {
    return "the page is not stored";
  }
  if (stored->second != bytes) {
    return "the page differs from the stored one";
  }
  return std::nullopt;
}

Refusal SerialFlashStore::PutPassword(const CsmKeys& keys) {
  if (auto refusal = StartWrite()) {
    return refusal;
  }
  contents_.password = keys;
  return Persist();
}

Refusal SerialFlashStore::PutTag(const StoredTag& tag) {
  if (auto refusal = StartWrite()) {
    return refusal;
  }
  contents_.tag = tag;
  return Persist();
}

Refusal SerialFlashStore::PutCoffInfo(const StoredCoffInfo& info) {
  if (auto refusal = StartWrite()) {
    return refusal;
  }
  contents_.coffInfo = info;
  return Persist();
}
