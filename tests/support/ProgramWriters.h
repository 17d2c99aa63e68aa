// Builds the program formats beside COFF for tests and benchmarks: Intel HEX
// and TI-TXT as TI's hex utility writes them for the C28x, and TI ELF
// executables with segments placed apart from their sections' addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Words to place from a word address on.
struct WordBlock {
  uint32_t address = 0;
  std::vector<uint16_t> words{};
};

// One Intel HEX record line with its checksum, e.g. ":02000004003FBB".
std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);
// A whole Intel HEX file: an extended linear address record wherever the
// upper address bits change, data records of up to `wordsPerRecord` words,
// high byte first, and the end-of-file record.
std::string IntelHexText(const std::vector<WordBlock>& blocks, uint32_t wordsPerRecord = 16);
// A whole TI-TXT file: "@" byte address per block, 16 bytes a line, low byte
// first, "q" at the end.
std::string TiTxtText(const std::vector<WordBlock>& blocks);

struct ElfSegment {
  uint32_t loadAddress = 0;  // p_paddr, where the words are stored
  std::vector<uint16_t> words{};
  std::string sectionName{};  // an allocated section over the same bytes; none when empty
  uint32_t runAddress = 0;    // the section's (and p_vaddr's) address
};

// Program header fields, by offset within a 32-byte header at
// kElfProgramHeadersAt + 32 × index.
inline constexpr size_t kElfProgramHeadersAt = 52;
inline constexpr size_t kElfFieldFileAt = 4;
inline constexpr size_t kElfFieldLoadAddress = 12;
inline constexpr size_t kElfFieldFileBytes = 16;

// A 32-bit little-endian executable for `machine` (141 is the C28x): one
// PT_LOAD program header per segment, plus one empty PT_LOAD (a .bss) first,
// and section headers naming each segment's section.
std::vector<uint8_t> ElfFile(const std::vector<ElfSegment>& segments, uint16_t machine = 141);

std::vector<uint8_t> BytesOf(const std::string& text);
