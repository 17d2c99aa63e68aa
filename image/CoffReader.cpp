#include "image/CoffReader.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <new>
#include <vector>

#include "image/FileSource.h"
#include "image/ImageBuilder.h"
#include "image/ProgramFile.h"
#include "image/ProgramImage.h"

namespace {

constexpr uint16_t kTargetC28x = 0x009D;
constexpr uint16_t kVersion1 = 0x00C1;
constexpr uint16_t kVersion2 = 0x00C2;
constexpr uint64_t kFileHeaderBytes = 22;  // version 1 and 2; version 0 has 20
constexpr uint64_t kOptionalHeaderBytes = 28;
constexpr uint32_t kSymbolBytes = 18;
// Positions the file layer takes as signed 32-bit numbers; anything from here
// on cannot be reached.
constexpr uint64_t kFirstBadPosition = uint64_t{1} << 31;
// Dummy, no-load and copy sections hold nothing to program.
constexpr uint32_t kSkipFlags = 0x0013;

struct FileLayout {
  uint16_t sectionCount;
  uint64_t sectionHeaderBytes;  // 40 for versions 0 and 1, 48 for version 2
  uint64_t sectionHeadersAt;
  uint32_t stringTableAt;
};

// Checks the file header and where the parts it points to lie. Nothing in the
// image changes here.
ProgramReadResult ReadLayout(FileSource& file, FileLayout& layout) {
  if (file.size() < kFileHeaderBytes) {
    return ProgramReadResult::NotCoff;
  }
  std::array<uint8_t, kFileHeaderBytes> header;
  file.ReadAt(0, header.data(), header.size());
  const uint16_t magic = U16(&header[0]);
  uint64_t position = 0;
  if (magic == kTargetC28x) {
    position = 20;
    layout.sectionHeaderBytes = 40;
  } else if (magic == kVersion1 || magic == kVersion2) {
    if (U16(&header[20]) != kTargetC28x) {
      return ProgramReadResult::TargetMismatch;
    }
    position = kFileHeaderBytes;
    layout.sectionHeaderBytes = magic == kVersion2 ? 48 : 40;
  } else {
    return ProgramReadResult::NotCoff;
  }
  layout.sectionCount = U16(&header[2]);
  const uint32_t symbolTableAt = U32(&header[8]);
  const uint32_t symbolCount = U32(&header[12]);
  // Whatever size the header declares, the optional header is 28 bytes.
  if (U16(&header[16]) != 0) {
    if (position + kOptionalHeaderBytes > file.size()) {
      return ProgramReadResult::NotCoff;
    }
    position += kOptionalHeaderBytes;
  }
  layout.sectionHeadersAt = position;

  // The format computes this in 32 bits; a wrapped value is just a bad offset.
  layout.stringTableAt = symbolTableAt + kSymbolBytes * symbolCount;
  if (layout.stringTableAt >= kFirstBadPosition) {
    return ProgramReadResult::FileError;
  }
  std::array<uint8_t, 4> length;
  if (uint64_t{layout.stringTableAt} + length.size() > file.size()) {
    return ProgramReadResult::NotCoff;
  }
  file.ReadAt(layout.stringTableAt, length.data(), length.size());
  if (uint64_t{layout.stringTableAt} + U32(length.data()) > file.size()) {
    return ProgramReadResult::NotCoff;
  }
  if (layout.sectionHeadersAt + layout.sectionCount * layout.sectionHeaderBytes > file.size()) {
    return ProgramReadResult::NotCoff;
  }
  return ProgramReadResult::Ok;
}

struct SectionHeader {
  uint32_t address;
  uint32_t wordCount;
  uint32_t rawDataAt;
  uint32_t flags;
};

SectionHeader DecodeHeader(const uint8_t* h, uint64_t headerBytes) {
  return {U32(h + 12), U32(h + 16), U32(h + 20), headerBytes == 48 ? U32(h + 40) : U16(h + 36)};
}

// The section's name less one leading underscore; false when the name lies
// at a position the file layer cannot reach.
bool ReadName(FileSource& file, const uint8_t* h, uint32_t stringTableAt, std::string& name) {
  if (U32(h) != 0) {
    const auto* text = reinterpret_cast<const char*>(h);
    name.assign(text, std::find(text, text + 8, '\0'));
  } else {
    const uint64_t at = uint64_t{stringTableAt} + U32(h + 4);
    if (at >= kFirstBadPosition) {
      return false;
    }
    name = file.StringAt(at);
  }
  if (!name.empty() && name.front() == '_') {
    name.erase(0, 1);
  }
  return true;
}

// A section that holds nothing to program.
bool Skipped(const SectionHeader& header, const std::string& name) {
  return header.wordCount == 0 || header.rawDataAt == 0 || (header.flags & kSkipFlags) != 0 ||
         IsNeverProgrammed(name);
}

// A section the image will hold, as its header and name give it.
struct AcceptedSection {
  std::string name;
  SectionHeader header;
};

// The sections the image will hold, in file order, and the words they hold
// in all; or the first failure the headers alone show. Nothing is allocated
// for the words yet, so that a file whose headers fail costs no more than its
// headers, and one that reads is given its room at once, exactly.
ProgramReadResult AcceptSections(FileSource& file, const FileLayout& layout,
                                 std::vector<AcceptedSection>& accepted, uint64_t& totalWords) {
  std::vector<uint8_t> headers(layout.sectionCount * layout.sectionHeaderBytes);
  file.ReadAt(layout.sectionHeadersAt, headers.data(), headers.size());
  totalWords = 0;
  for (uint16_t i = 0; i < layout.sectionCount; ++i) {
    const uint8_t* h = headers.data() + i * layout.sectionHeaderBytes;
    std::string name;
    if (!ReadName(file, h, layout.stringTableAt, name)) {
      return ProgramReadResult::FileError;
    }
    const SectionHeader header = DecodeHeader(h, layout.sectionHeaderBytes);
    if (Skipped(header, name)) {
      continue;
    }
    if (header.rawDataAt >= kFirstBadPosition) {
      return ProgramReadResult::FileError;
    }
    totalWords += header.wordCount;
    if (totalWords > ProgramImage::kBufferWords) {
      return ProgramReadResult::ImageTooLarge;
    }
    accepted.push_back({std::move(name), header});
  }
  return ProgramReadResult::Ok;
}

// Places the accepted sections in the image, which the caller has cleared.
ProgramReadResult ReadSections(FileSource& file, const FileLayout& layout, McuType mcuType,
                               ProgramImage& image) {
  std::vector<AcceptedSection> accepted;
  uint64_t totalWords = 0;
  if (const ProgramReadResult result = AcceptSections(file, layout, accepted, totalWords);
      result != ProgramReadResult::Ok) {
    return result;
  }
  ImageBuilder builder(image, mcuType, totalWords);
  for (AcceptedSection& section : accepted) {
    const SectionHeader& header = section.header;
    if (const ProgramReadResult opened = builder.Open(std::move(section.name), header.address);
        opened != ProgramReadResult::Ok) {
      return opened;
    }
    uint16_t* words = builder.Grow(header.wordCount);
    if (words == nullptr) {
      return ProgramReadResult::ImageTooLarge;
    }
    // A file that ends early leaves the missing words erased (0xFFFF), and
    // the section counts them, so that the user hears of it.
    const size_t bytesRead = file.ReadAt(header.rawDataAt, words, size_t{2} * header.wordCount);
    image.sections.back()->wordsMissing = header.wordCount - static_cast<uint32_t>(bytesRead / 2);
  }
  builder.Finish();
  return ProgramReadResult::Ok;
}

}  // namespace

ProgramReadResult ReadCoffStream(std::istream& in, McuType mcuType, ProgramImage& image) {
  image.allocationError.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (!in || end < 0) {
    return ProgramReadResult::OpenFailed;
  }
  FileSource file(in, static_cast<uint64_t>(end));
  FileLayout layout{};
  if (const ProgramReadResult result = ReadLayout(file, layout); result != ProgramReadResult::Ok) {
    return result;
  }
  image.Clear();
  ProgramReadResult result;
  try {
    result = ReadSections(file, layout, mcuType, image);
  } catch (const std::bad_alloc& e) {
    image.allocationError = e.what();
    result = ProgramReadResult::OutOfMemory;
  }
  if (result != ProgramReadResult::Ok) {
    // A half-read program must never pass for the file.
    image.Clear();
  }
  return result;
}

ProgramReadResult ReadCoffFile(const std::filesystem::path& path, McuType mcuType,
                               ProgramImage& image) {
  std::ifstream in;
  if (const ProgramReadResult opened = OpenProgramFile(path, in, image);
      opened != ProgramReadResult::Ok) {
    return opened;
  }
  return ReadCoffStream(in, mcuType, image);
}
