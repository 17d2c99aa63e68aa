// Real TI ELF and Intel HEX output kept beside the repository: every file
// reads, and each HEX file holds word for word the memory of the COFF file it
// was made from.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "image/MemoryDigest.h"
#include "image/ProgramImage.h"
#include "image/ProgramReader.h"
#include "tests/image/ImageInvariants.h"

namespace {

const std::filesystem::path kSamples = BFX_FORMAT_SAMPLES;

class FormatSamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kSamples)) {
      GTEST_SKIP() << "no samples at " << kSamples;
    }
  }
  ProgramRead Read(const std::filesystem::path& file, ProgramImage& image) {
    return ReadProgramFile(file, kF2809, image);
  }
  // Word address to word, over every section.
  static std::map<uint32_t, uint16_t> Memory(const ProgramImage& image) {
    std::map<uint32_t, uint16_t> memory;
    for (const auto& section : image.sections) {
      for (uint32_t i = 0; i < section->wordCount; ++i) {
        memory[section->address + i] = section->data[i];
      }
    }
    return memory;
  }
  ProgramImage image_;
};

std::string Name(const std::filesystem::path& file) {
  return file.filename().string();
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(FormatSamplesTest, EveryProgramReadsInItsFormat) {
  int programs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kSamples)) {
    const std::string name = Name(entry.path());
    const ProgramFormat expected = EndsWith(name, ".hex")           ? ProgramFormat::IntelHex
                                   : EndsWith(name, ".partner.out") ? ProgramFormat::Coff
                                   : EndsWith(name, ".out")         ? ProgramFormat::Elf
                                                                    : ProgramFormat::Unknown;
    if (expected == ProgramFormat::Unknown) {
      continue;  // the README and the list of sources
    }
    SCOPED_TRACE(name);
    ++programs;
    const ProgramRead read = Read(entry.path(), image_);
    ASSERT_EQ(read.result, ProgramReadResult::Ok) << ProgramReadMessage(read);
    EXPECT_EQ(read.format, expected);
    EXPECT_GT(image_.sectionCount(), 0);
    ExpectImageConsistent(image_);
  }
  EXPECT_GT(programs, 0);
}

TEST_F(FormatSamplesTest, EachHexFileHoldsTheMemoryOfItsCoffPartner) {
  for (const char* program :
       {"nodang__micromouse_hara__a_hara", "nodang__micromouse_hara__a_hara_monitor2809"}) {
    SCOPED_TRACE(program);
    ProgramImage coff;
    ASSERT_EQ(Read(kSamples / (std::string(program) + ".partner.out"), coff).result,
              ProgramReadResult::Ok);
    ASSERT_EQ(Read(kSamples / (std::string(program) + ".hex"), image_).result,
              ProgramReadResult::Ok);
    const auto memory = Memory(image_);
    EXPECT_GT(memory.size(), 1000u);
    EXPECT_TRUE(memory == Memory(coff));
    EXPECT_EQ(MemoryDigest(image_), MemoryDigest(coff));
    // Same words in the flash for the POD, however the sections are cut.
    EXPECT_EQ(image_.flashBytes(), coff.flashBytes());
    EXPECT_EQ(image_.flashSectorMask(), coff.flashSectorMask());
  }
}

TEST_F(FormatSamplesTest, FlashBuildsStoreTheirRamCodeAtItsFlashLoadAddress) {
  for (const char* program : {"Pra19025__FSM_CurrentSensor__FSM_CurrentSensor.out",
                              "Pra19025__FSM_CurrentSensor__FSM_GSM.out"}) {
    SCOPED_TRACE(program);
    ASSERT_EQ(Read(kSamples / program, image_).result, ProgramReadResult::Ok);
    const ImageSection* ramfunc = nullptr;
    for (const auto& section : image_.sections) {
      if (section->name == ".TI.ramfunc") {
        ramfunc = section.get();
      }
      // The RAM it runs from at 0xC000 is filled at run time, not programmed.
      EXPECT_FALSE(section->address <= 0xC000 && 0xC000 < section->address + section->wordCount)
          << section->name;
    }
    ASSERT_NE(ramfunc, nullptr);
    EXPECT_EQ(ramfunc->address, 0x81540u);
    EXPECT_EQ(ramfunc->wordCount, 4u);
  }
  // A segment holding several sections is named after all of them.
  const auto& last = image_.sections.back();
  EXPECT_EQ(last->name, ".text.1+.text.2+.text.3");
  EXPECT_EQ(last->address, 0x82000u);
}

}  // namespace
