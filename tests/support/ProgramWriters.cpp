#include "tests/support/ProgramWriters.h"

#include <algorithm>
#include <cstdio>

#include "tests/support/CoffWriter.h"

std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (const uint8_t byte : bytes) {
    sum = static_cast<uint8_t>(sum + byte);
  }
  bytes.push_back(static_cast<uint8_t>(-sum));
  std::string line = ":";
  for (const uint8_t byte : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    line += digits;
  }
  return line;
}

std::string IntelHexText(const std::vector<WordBlock>& blocks, uint32_t wordsPerRecord) {
  std::string text;
  int64_t upper = -1;
  for (const WordBlock& block : blocks) {
    for (size_t i = 0; i < block.words.size();) {
      const uint32_t address = block.address + static_cast<uint32_t>(i);
      if (address >> 16 != upper) {
        upper = address >> 16;
        text +=
            HexRecord(0x04, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)}) +
            "\n";
      }
      // A record stays below the next 64K-word boundary, as the utility's do.
      const size_t room = 0x10000 - (address & 0xFFFF);
      const size_t count = std::min({size_t{wordsPerRecord}, block.words.size() - i, room});
      std::vector<uint8_t> data;
      for (size_t k = 0; k < count; ++k) {
        data.push_back(static_cast<uint8_t>(block.words[i + k] >> 8));
        data.push_back(static_cast<uint8_t>(block.words[i + k]));
      }
      text += HexRecord(0x00, static_cast<uint16_t>(address), data) + "\n";
      i += count;
    }
  }
  return text + ":00000001FF\n";
}

std::string TiTxtText(const std::vector<WordBlock>& blocks) {
  std::string text;
  for (const WordBlock& block : blocks) {
    char line[16];
    std::snprintf(line, sizeof line, "@%X\n", 2 * block.address);
    text += line;
    for (size_t i = 0; i < block.words.size(); ++i) {
      std::snprintf(line, sizeof line, "%02X %02X", block.words[i] & 0xFF, block.words[i] >> 8);
      text += line;
      text += (i % 8 == 7 || i + 1 == block.words.size()) ? "\n" : " ";
    }
  }
  return text + "q\n";
}

std::vector<uint8_t> ElfFile(const std::vector<ElfSegment>& segments, uint16_t machine) {
  const size_t programHeaders = segments.size() + 1;
  std::vector<uint8_t> bytes(kElfProgramHeadersAt + 32 * programHeaders);
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1};
  std::copy(std::begin(ident), std::end(ident), bytes.begin());
  PutU16(bytes, 16, 2);  // an executable
  PutU16(bytes, 18, machine);
  PutU32(bytes, 20, 1);
  PutU32(bytes, 28, kElfProgramHeadersAt);
  PutU16(bytes, 40, 52);
  PutU16(bytes, 42, 32);
  PutU16(bytes, 44, static_cast<uint16_t>(programHeaders));
  // The empty PT_LOAD of uninitialised data that TI's linker writes.
  PutU32(bytes, kElfProgramHeadersAt, 1);
  PutU32(bytes, kElfProgramHeadersAt + 8, 0x8000);
  PutU32(bytes, kElfProgramHeadersAt + 12, 0x8000);
  PutU32(bytes, kElfProgramHeadersAt + 20, 0x40);

  std::string names(1, '\0');
  struct Named {
    uint32_t nameAt, address, fileAt, size;
  };
  std::vector<Named> sections;
  for (size_t i = 0; i < segments.size(); ++i) {
    const ElfSegment& segment = segments[i];
    const size_t header = kElfProgramHeadersAt + 32 * (i + 1);
    const auto fileAt = static_cast<uint32_t>(bytes.size());
    const auto size = static_cast<uint32_t>(2 * segment.words.size());
    PutU32(bytes, header, 1);
    PutU32(bytes, header + kElfFieldFileAt, fileAt);
    PutU32(bytes, header + 8, segment.runAddress ? segment.runAddress : segment.loadAddress);
    PutU32(bytes, header + kElfFieldLoadAddress, segment.loadAddress);
    PutU32(bytes, header + kElfFieldFileBytes, size);
    PutU32(bytes, header + 20, size);
    for (const uint16_t word : segment.words) {
      bytes.push_back(static_cast<uint8_t>(word));
      bytes.push_back(static_cast<uint8_t>(word >> 8));
    }
    if (!segment.sectionName.empty()) {
      sections.push_back({static_cast<uint32_t>(names.size()),
                          segment.runAddress ? segment.runAddress : segment.loadAddress, fileAt,
                          size});
      names += segment.sectionName + '\0';
    }
  }
  const auto shstrtabName = static_cast<uint32_t>(names.size());
  names += std::string(".shstrtab") + '\0';
  const auto namesAt = static_cast<uint32_t>(bytes.size());
  bytes.insert(bytes.end(), names.begin(), names.end());

  // Null section, the named ones, then the section-name table.
  const auto sectionHeadersAt = static_cast<uint32_t>(bytes.size());
  const size_t count = sections.size() + 2;
  bytes.resize(bytes.size() + 40 * count);
  for (size_t i = 0; i < sections.size(); ++i) {
    const size_t at = sectionHeadersAt + 40 * (i + 1);
    PutU32(bytes, at, sections[i].nameAt);
    PutU32(bytes, at + 4, 1);    // PROGBITS
    PutU32(bytes, at + 8, 0x6);  // allocated, executable
    PutU32(bytes, at + 12, sections[i].address);
    PutU32(bytes, at + 16, sections[i].fileAt);
    PutU32(bytes, at + 20, sections[i].size);
  }
  const size_t strtab = sectionHeadersAt + 40 * (count - 1);
  PutU32(bytes, strtab, shstrtabName);
  PutU32(bytes, strtab + 4, 3);  // STRTAB
  PutU32(bytes, strtab + 16, namesAt);
  PutU32(bytes, strtab + 20, static_cast<uint32_t>(names.size()));
  PutU32(bytes, 32, sectionHeadersAt);
  PutU16(bytes, 46, 40);
  PutU16(bytes, 48, static_cast<uint16_t>(count));
  PutU16(bytes, 50, static_cast<uint16_t>(count - 1));
  return bytes;
}

std::vector<uint8_t> BytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}
