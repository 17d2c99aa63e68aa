#include "image/ElfReader.h"

#include <algorithm>
#include <array>
#include <vector>

#include "image/CoveredWords.h"
#include "image/FileSource.h"
#include "image/ImageBuilder.h"

namespace {

constexpr size_t kElfHeaderBytes = 52;
constexpr uint8_t kClass32 = 1;
constexpr uint8_t kLittleEndian = 1;
constexpr uint16_t kMachineC28x = 141;
constexpr uint32_t kProgramHeaderBytes = 32;
constexpr uint32_t kSectionHeaderBytes = 40;
constexpr uint32_t kLoadSegment = 1;
constexpr uint32_t kNoBitsSection = 8;
constexpr uint32_t kAllocatedSection = 0x2;

struct ElfHeader {
  uint32_t programHeadersAt;
  uint32_t sectionHeadersAt;
  uint16_t programHeaderBytes;
  uint16_t programHeaderCount;
  uint16_t sectionHeaderBytes;
  uint16_t sectionHeaderCount;
  uint16_t sectionNamesIndex;
};

struct Segment {
  uint32_t type;
  uint32_t fileAt;
  uint32_t loadAddress;  // p_paddr, in words
  uint32_t fileBytes;
};

// An allocated section with bytes in the file: where they lie and its name.
struct StoredSection {
  uint32_t fileAt;
  std::string name;
};

ProgramReadResult ReadHeader(FileSource& file, ElfHeader& header) {
  std::array<uint8_t, kElfHeaderBytes> h;
  if (file.ReadAt(0, h.data(), h.size()) != h.size()) {
    return ProgramReadResult::NotCoff;
  }
  if (h[4] != kClass32 || h[5] != kLittleEndian || U16(&h[18]) != kMachineC28x) {
    return ProgramReadResult::TargetMismatch;
  }
  header = {U32(&h[28]), U32(&h[32]), U16(&h[42]), U16(&h[44]),
            U16(&h[46]), U16(&h[48]), U16(&h[50])};
  if (header.programHeaderCount > 0 &&
      (header.programHeaderBytes < kProgramHeaderBytes ||
       !file.Holds(header.programHeadersAt,
                   uint64_t{header.programHeaderBytes} * header.programHeaderCount))) {
    return ProgramReadResult::NotCoff;
  }
  return ProgramReadResult::Ok;
}

Segment ReadSegment(FileSource& file, const ElfHeader& header, uint16_t index) {
  std::array<uint8_t, kProgramHeaderBytes> p;
  file.ReadAt(header.programHeadersAt + uint64_t{index} * header.programHeaderBytes, p.data(),
              p.size());
  return {U32(&p[0]), U32(&p[4]), U32(&p[12]), U32(&p[16])};
}

// The allocated sections with file data, by file position. Section headers
// only name the blocks, so a file without usable ones still reads.
std::vector<StoredSection> ReadStoredSections(FileSource& file, const ElfHeader& header) {
  std::vector<StoredSection> stored;
  const uint64_t bytes = header.sectionHeaderBytes;
  if (bytes < kSectionHeaderBytes ||
      !file.Holds(header.sectionHeadersAt, bytes * header.sectionHeaderCount) ||
      header.sectionNamesIndex >= header.sectionHeaderCount) {
    return stored;
  }
  std::array<uint8_t, kSectionHeaderBytes> s;
  file.ReadAt(header.sectionHeadersAt + bytes * header.sectionNamesIndex, s.data(), s.size());
  const uint32_t namesAt = U32(&s[16]);
  for (uint16_t i = 0; i < header.sectionHeaderCount; ++i) {
    file.ReadAt(header.sectionHeadersAt + bytes * i, s.data(), s.size());
    if (U32(&s[4]) != kNoBitsSection && (U32(&s[8]) & kAllocatedSection) != 0 && U32(&s[20]) != 0) {
      stored.push_back({U32(&s[16]), file.StringAt(uint64_t{namesAt} + U32(&s[0]))});
    }
  }
  std::ranges::stable_sort(stored, {}, &StoredSection::fileAt);
  return stored;
}

// The names of the sections whose bytes begin inside the segment.
std::vector<std::string_view> NamesWithin(const std::vector<StoredSection>& stored,
                                          const Segment& segment) {
  std::vector<std::string_view> names;
  const uint64_t end = uint64_t{segment.fileAt} + segment.fileBytes;
  for (auto it = std::ranges::lower_bound(stored, segment.fileAt, {}, &StoredSection::fileAt);
       it != stored.end() && it->fileAt < end; ++it) {
    names.push_back(it->name);
  }
  return names;
}

// The words of the loadable segments, which lie within the file: what the
// image will hold, but for the few segments skipped by name.
uint64_t ExpectedWords(FileSource& file, const ElfHeader& header) {
  uint64_t bytes = 0;
  for (uint16_t i = 0; i < header.programHeaderCount; ++i) {
    const Segment segment = ReadSegment(file, header, i);
    bytes += segment.type == kLoadSegment ? segment.fileBytes : 0;
  }
  return std::min(bytes, file.size()) / 2;
}

std::string SegmentDetail(uint16_t index, const std::string& what) {
  return "program header " + std::to_string(index) + ": " + what;
}

ProgramRead ReadSegments(FileSource& file, const ElfHeader& header, McuType mcuType,
                         ProgramImage& image) {
  const std::vector<StoredSection> stored = ReadStoredSections(file, header);
  ImageBuilder builder(image, mcuType, ExpectedWords(file, header));
  CoveredWords covered;
  ProgramRead read;
  for (uint16_t i = 0; i < header.programHeaderCount; ++i) {
    const Segment segment = ReadSegment(file, header, i);
    if (segment.type != kLoadSegment || segment.fileBytes == 0) {
      continue;
    }
    const std::vector<std::string_view> names = NamesWithin(stored, segment);
    if (!names.empty() && std::ranges::all_of(names, IsNeverProgrammed)) {
      continue;
    }
    const uint32_t wordCount = segment.fileBytes / 2;
    if (segment.fileBytes % 2 != 0) {
      read.detail = SegmentDetail(i, "an odd number of bytes, the last word given by half");
      read.result = ProgramReadResult::BadLayout;
      return read;
    }
    if (!file.Holds(segment.fileAt, segment.fileBytes)) {
      read.detail = SegmentDetail(
          i, "its bytes end at " + std::to_string(uint64_t{segment.fileAt} + segment.fileBytes) +
                 ", the file at " + std::to_string(file.size()));
      read.result = ProgramReadResult::Truncated;
      return read;
    }
    if (uint64_t{segment.loadAddress} + wordCount > kC28xAddressWords) {
      read.detail = SegmentDetail(
          i, "it reaches past the C28x's 22-bit memory, from " + AddressName(segment.loadAddress));
      read.result = ProgramReadResult::BadLayout;
      return read;
    }
    if (const auto twice = covered.Claim(segment.loadAddress, wordCount)) {
      read.detail = SegmentDetail(i, "the word at " + AddressName(*twice) + " is given twice");
      read.result = ProgramReadResult::BadLayout;
      return read;
    }
    std::string name;
    for (const std::string_view part : names) {
      name += name.empty() ? "" : "+";
      name += part;
    }
    read.result =
        builder.Open(name.empty() ? AddressName(segment.loadAddress) : name, segment.loadAddress);
    if (read.result != ProgramReadResult::Ok) {
      return read;
    }
    uint16_t* words = builder.Grow(wordCount);
    if (words == nullptr) {
      read.result = ProgramReadResult::ImageTooLarge;
      return read;
    }
    file.ReadAt(segment.fileAt, words, segment.fileBytes);
  }
  builder.Finish();
  return read;
}

}  // namespace

ProgramRead ReadElfStream(std::istream& in, McuType mcuType, ProgramImage& image) {
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (!in || end < 0) {
    return {ProgramFormat::Elf, ProgramReadResult::OpenFailed, {}};
  }
  FileSource file(in, static_cast<uint64_t>(end));
  ElfHeader header{};
  if (const ProgramReadResult result = ReadHeader(file, header); result != ProgramReadResult::Ok) {
    return {ProgramFormat::Elf, result, {}};
  }
  ProgramRead read = ReadSegments(file, header, mcuType, image);
  read.format = ProgramFormat::Elf;
  return read;
}
