// Builds TI COFF executables for tests: versions 0, 1 and 2, sections with
// name, address, words and flags, long names in the string table, and the
// means to make any header lie. Also a temp file that cleans up after itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Section flags as TI's tools write them.
inline constexpr uint32_t kCoffDummy = 0x0001;
inline constexpr uint32_t kCoffNoLoad = 0x0002;
inline constexpr uint32_t kCoffCopy = 0x0010;
inline constexpr uint32_t kCoffText = 0x0020;
inline constexpr uint32_t kCoffData = 0x0040;
inline constexpr uint32_t kCoffBss = 0x0080;

struct CoffSection {
  std::string name{};
  uint32_t address = 0;
  std::vector<uint16_t> words{};
  uint32_t flags = kCoffText;
  // Header fields that may disagree with the words written.
  std::optional<uint32_t> wordCount{};  // default: words.size()
  std::optional<uint32_t> rawDataAt{};  // default: where the words are written; 0 when none
  bool longName = false;                // put the name in the string table even if short
};

class CoffWriter {
 public:
  explicit CoffWriter(int version = 2) : version_(version) {}

  // The target ID: the first u16 of a version 0 file, the u16 at 20 otherwise.
  CoffWriter& TargetId(uint16_t id);
  // TI's tools always write the 28-byte optional header; on by default.
  CoffWriter& OptionalHeader(bool present);
  // Zeroed symbol-table entries (18 bytes each) in front of the string table.
  CoffWriter& Symbols(uint32_t count);
  // Bytes of padding in front of the raw data, e.g. 1 for odd data offsets.
  CoffWriter& PadRawData(size_t bytes);
  CoffWriter& Add(CoffSection section);
  CoffWriter& Add(std::string name, uint32_t address, std::vector<uint16_t> words,
                  uint32_t flags = kCoffText);

  // Where Build puts each part, for tests that corrupt a field afterwards.
  struct Layout {
    size_t fileHeaderBytes;
    size_t sectionHeadersAt;
    size_t sectionHeaderBytes;
    std::vector<size_t> rawDataAt;  // per section, where its words are written
    size_t symbolTableAt;
    size_t stringTableAt;
    size_t size;
    // Position of a field of section header `index`.
    size_t SectionField(size_t index, size_t fieldOffset) const {
      return sectionHeadersAt + index * sectionHeaderBytes + fieldOffset;
    }
  };
  Layout GetLayout() const;
  std::vector<uint8_t> Build() const;

 private:
  bool InStringTable(const CoffSection& section) const;

  int version_;
  uint16_t targetId_ = 0x009D;
  bool optionalHeader_ = true;
  uint32_t symbols_ = 0;
  size_t pad_ = 0;
  std::vector<CoffSection> sections_;
};

// Section header fields, by offset within a header.
inline constexpr size_t kCoffFieldAddress = 12;
inline constexpr size_t kCoffFieldSize = 16;
inline constexpr size_t kCoffFieldRawData = 20;
// File header fields.
inline constexpr size_t kCoffFieldSectionCount = 2;
inline constexpr size_t kCoffFieldSymbolTable = 8;
inline constexpr size_t kCoffFieldSymbolCount = 12;
inline constexpr size_t kCoffFieldOptionalSize = 16;

// Little-endian stores into built bytes.
void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

// A file in the system's temp directory, removed when this goes out of scope.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& suffix = ".out");
  ~TempFile();
  TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  TempFile& operator=(TempFile&&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
