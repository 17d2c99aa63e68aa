// The memory digest names what a write puts into the target: one program gives
// one digest in every format and however its sections are cut or ordered,
// and any change to the memory gives another.
#include "image/MemoryDigest.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "image/ProgramImage.h"
#include "image/ProgramReader.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ProgramWriters.h"

namespace {

// Two blocks in the F2808's flash, the higher one first.
const std::vector<WordBlock> kProgram{
    {0x3F0000, {0x0102, 0x0304, 0x0506}},
    {0x3E8000, {0x1234, 0xABCD, 0x0000, 0xFFFF}},
};
// hashlib.sha256 over struct.pack('<IH', address, word) for each word of
// kProgram in address order: the layout the README gives.
constexpr char kProgramDigest[] =
    "1d7c7c21b4c3cb926dca77c426ab3c2b3d7e8d829e2cb030b123c3e2c3ed1e96";

std::string DigestOf(const std::string& bytes) {
  ProgramImage image;
  std::istringstream in(bytes);
  const ProgramRead read = ReadProgramStream(in, kF2808, image);
  EXPECT_EQ(read.result, ProgramReadResult::Ok) << ProgramReadMessage(read);
  return MemoryDigest(image);
}

std::string DigestOf(const std::vector<uint8_t>& bytes) {
  return DigestOf(std::string(bytes.begin(), bytes.end()));
}

std::string CoffDigest(const std::vector<WordBlock>& blocks) {
  CoffWriter coff;
  for (const WordBlock& block : blocks) {
    coff.Add(".s" + std::to_string(block.address), block.address, block.words);
  }
  return DigestOf(coff.Build());
}

TEST(MemoryDigestTest, OneMemoryGivesOneDigestInEveryFormat) {
  std::vector<ElfSegment> segments;
  for (const WordBlock& block : kProgram) {
    segments.push_back({block.address, block.words, ".text", block.address});
  }
  const struct {
    const char* format;
    std::string digest;
  } cases[] = {
      {"COFF", CoffDigest(kProgram)},
      // The first block cut in two, the pieces in the other order.
      {"COFF cut", CoffDigest({{0x3E8002, {0x0000, 0xFFFF}},
                               {0x3F0000, {0x0102, 0x0304, 0x0506}},
                               {0x3E8000, {0x1234, 0xABCD}}})},
      {"ELF", DigestOf(ElfFile(segments))},
      {"Intel HEX", DigestOf(IntelHexText(kProgram))},
      {"Intel HEX, a word a record", DigestOf(IntelHexText(kProgram, 1))},
      {"TI-TXT", DigestOf(TiTxtText(kProgram))},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.digest, kProgramDigest) << c.format;
  }
}

TEST(MemoryDigestTest, AnyChangeToTheMemoryChangesIt) {
  const struct {
    const char* change;
    std::vector<WordBlock> blocks;
  } cases[] = {
      {"a block moved", {{0x3F1000, {0x0102, 0x0304, 0x0506}}, kProgram[1]}},
      {"both blocks moved",
       {{0x3F1000, {0x0102, 0x0304, 0x0506}}, {0x3E9000, {0x1234, 0xABCD, 0x0000, 0xFFFF}}}},
      {"a word changed", {{0x3F0000, {0x0102, 0x0304, 0x0507}}, kProgram[1]}},
      {"a word added", {{0x3F0000, {0x0102, 0x0304, 0x0506, 0xFFFF}}, kProgram[1]}},
      {"a word left out", {{0x3F0000, {0x0102, 0x0304}}, kProgram[1]}},
      // Equal words at addresses that differ by the block: the addresses count.
      {"two words swapped", {kProgram[0], {0x3E8000, {0xABCD, 0x1234, 0x0000, 0xFFFF}}}},
  };
  for (const auto& c : cases) {
    EXPECT_NE(CoffDigest(c.blocks), kProgramDigest) << c.change;
    EXPECT_NE(DigestOf(IntelHexText(c.blocks)), kProgramDigest) << c.change;
  }
}

TEST(MemoryDigestTest, CountsWhatTheWriteSends) {
  // A flash write leaves a flash program's RAM sections out, and so does the digest.
  const std::vector<uint8_t> withRam = CoffWriter()
                                           .Add(".s1", 0x3F0000, kProgram[0].words)
                                           .Add(".ebss_init", 0x8000, {5, 6})
                                           .Add(".s2", 0x3E8000, kProgram[1].words)
                                           .Build();
  EXPECT_EQ(DigestOf(withRam), kProgramDigest);
  // A program without flash goes into RAM whole: its RAM words count.
  const std::string ramOnly = CoffDigest({{0x8000, {5, 6}}});
  const std::string otherRam = CoffDigest({{0x8000, {5, 7}}});
  EXPECT_NE(ramOnly, otherRam);
  EXPECT_EQ(DigestOf(TiTxtText({{0x8000, {5, 6}}})), ramOnly);
}

}  // namespace
