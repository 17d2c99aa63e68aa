#include "tests/support/CoffWriter.h"

#include <fstream>
#include <random>
#include <stdexcept>

CoffWriter& CoffWriter::TargetId(uint16_t id) {
  targetId_ = id;
  return *this;
}

CoffWriter& CoffWriter::OptionalHeader(bool present) {
  optionalHeader_ = present;
  return *this;
}

CoffWriter& CoffWriter::Symbols(uint32_t count) {
  symbols_ = count;
  return *this;
}

CoffWriter& CoffWriter::PadRawData(size_t bytes) {
  pad_ = bytes;
  return *this;
}

CoffWriter& CoffWriter::Add(CoffSection section) {
  sections_.push_back(std::move(section));
  return *this;
}

CoffWriter& CoffWriter::Add(std::string name, uint32_t address, std::vector<uint16_t> words,
                            uint32_t flags) {
  return Add(CoffSection{
      .name = std::move(name), .address = address, .words = std::move(words), .flags = flags});
}

bool CoffWriter::InStringTable(const CoffSection& section) const {
  return section.longName || section.name.size() > 8;
}

CoffWriter::Layout CoffWriter::GetLayout() const {
  Layout layout{};
  layout.fileHeaderBytes = version_ == 0 ? 20 : 22;
  layout.sectionHeadersAt = layout.fileHeaderBytes + (optionalHeader_ ? 28 : 0);
  layout.sectionHeaderBytes = version_ == 2 ? 48 : 40;
  size_t at = layout.sectionHeadersAt + sections_.size() * layout.sectionHeaderBytes + pad_;
  for (const CoffSection& section : sections_) {
    layout.rawDataAt.push_back(at);
    at += 2 * section.words.size();
  }
  layout.symbolTableAt = at;
  layout.stringTableAt = at + size_t{18} * symbols_;
  size_t stringBytes = 4;
  for (const CoffSection& section : sections_) {
    if (InStringTable(section)) {
      stringBytes += section.name.size() + 1;
    }
  }
  layout.size = layout.stringTableAt + stringBytes;
  return layout;
}

std::vector<uint8_t> CoffWriter::Build() const {
  const Layout layout = GetLayout();
  std::vector<uint8_t> bytes(layout.size, 0);
  if (version_ == 0) {
    PutU16(bytes, 0, targetId_);
  } else {
    PutU16(bytes, 0, static_cast<uint16_t>(0x00C0 + version_));
    PutU16(bytes, 20, targetId_);
  }
  PutU16(bytes, kCoffFieldSectionCount, static_cast<uint16_t>(sections_.size()));
  PutU32(bytes, kCoffFieldSymbolTable, static_cast<uint32_t>(layout.symbolTableAt));
  PutU32(bytes, kCoffFieldSymbolCount, symbols_);
  PutU16(bytes, kCoffFieldOptionalSize, optionalHeader_ ? 28 : 0);
  // The optional header's contents are never read; its magic marks it as TI's.
  if (optionalHeader_) {
    PutU16(bytes, layout.fileHeaderBytes, 0x0108);
  }

  size_t nameAt = 4;  // names count from the string table's length field
  for (size_t i = 0; i < sections_.size(); ++i) {
    const CoffSection& section = sections_[i];
    const size_t header = layout.SectionField(i, 0);
    if (InStringTable(section)) {
      PutU32(bytes, header + 4, static_cast<uint32_t>(nameAt));
      std::copy(section.name.begin(), section.name.end(),
                bytes.begin() + static_cast<std::ptrdiff_t>(layout.stringTableAt + nameAt));
      nameAt += section.name.size() + 1;
    } else {
      std::copy(section.name.begin(), section.name.end(),
                bytes.begin() + static_cast<std::ptrdiff_t>(header));
    }
    const auto count = static_cast<uint32_t>(section.words.size());
    PutU32(bytes, header + 8, section.address);
    PutU32(bytes, header + kCoffFieldAddress, section.address);
    PutU32(bytes, header + kCoffFieldSize, section.wordCount.value_or(count));
    const auto rawAt = static_cast<uint32_t>(count > 0 ? layout.rawDataAt[i] : 0);
    PutU32(bytes, header + kCoffFieldRawData, section.rawDataAt.value_or(rawAt));
    if (version_ == 2) {
      PutU32(bytes, header + 40, section.flags);
    } else {
      PutU16(bytes, header + 36, static_cast<uint16_t>(section.flags));
    }
    for (size_t w = 0; w < section.words.size(); ++w) {
      PutU16(bytes, layout.rawDataAt[i] + 2 * w, section.words[w]);
    }
  }
  PutU32(bytes, layout.stringTableAt, static_cast<uint32_t>(nameAt));
  return bytes;
}

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes.at(at) = static_cast<uint8_t>(value);
  bytes.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  PutU16(bytes, at, static_cast<uint16_t>(value));
  PutU16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

TempFile::TempFile(const std::vector<uint8_t>& bytes, const std::string& suffix) {
  std::random_device random;
  std::error_code error;
  do {
    path_ = std::filesystem::temp_directory_path() /
            ("bfx-" + std::to_string(random()) + std::to_string(random()) + suffix);
  } while (std::filesystem::exists(path_, error));
  std::ofstream out(path_, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + path_.string());
  }
}

TempFile::~TempFile() {
  if (!path_.empty()) {
    std::error_code error;
    std::filesystem::remove(path_, error);
  }
}
