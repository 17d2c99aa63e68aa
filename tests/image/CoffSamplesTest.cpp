// Reads real compiler output kept beside the repository. The expected figures
// come from the files' own headers, worked out by hand per device.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "image/CoffReader.h"
#include "image/ProgramImage.h"
#include "tests/image/ImageInvariants.h"

namespace {

const std::filesystem::path kSamples = BFX_COFF_SAMPLES;

class CoffSamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kSamples)) {
      GTEST_SKIP() << "no samples at " << kSamples;
    }
  }
  ProgramReadResult Read(const std::string& file, McuType mcu) {
    return ReadCoffFile(kSamples / file, mcu, image_);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& section : image_.sections) {
      names.push_back(section->name);
    }
    return names;
  }
  ProgramImage image_;
};

struct SampleCase {
  const char* file;
  McuType mcu;
  int32_t sectionCount;
  uint32_t imageBytes;
  uint16_t flashSectionCount;
  uint32_t flashBytes;
  uint16_t flashSectorMask;
};

TEST_F(CoffSamplesTest, ReadsC28xProgramsForEachDevice) {
  const SampleCase cases[] = {
      {"EduardChou__TMS320F2812-labs__ADC_Flash.out", kF2808, 7, 1680, 7, 1680, 0x05},
      {"droneshire__ti__proj_lab01.out", kF2802, 5, 29240, 5, 29240, 0x0D},
      {"droneshire__ti__proj_lab01.out", kF2801, 5, 29240, 2, 272, 0x03},
      {"droneshire__ti__F28035_Prog1.out", kF2801, 7, 3616, 3, 256, 0x01},
      {"droneshire__ti__F28035_Prog1.out", kF2809, 7, 3616, 7, 3616, 0x09},
      {"droneshire__ti__FlashAPIInterface2808V3_02.out", kF2808, 3, 4282, 0, 0, 0},
      {"droneshire__ti__F2837xD_usb_flash_kernels_cpu01.out", kF2809, 6, 14146, 0, 0, 0},
      {"droneshire__ti__F28335_example_nonBIOS_flash.out", kF2808, 8, 4816, 0, 0, 0},
  };
  for (const SampleCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " on device " + std::string(c.mcu.info().name));
    ASSERT_EQ(Read(c.file, c.mcu), ProgramReadResult::Ok);
    ExpectImageConsistent(image_);
    EXPECT_EQ(image_.sectionCount(), c.sectionCount);
    EXPECT_EQ(image_.imageBytes(), c.imageBytes);
    EXPECT_EQ(image_.flashSectionCount(), c.flashSectionCount);
    EXPECT_EQ(image_.flashBytes(), c.flashBytes);
    EXPECT_EQ(image_.flashSectorMask(), c.flashSectorMask);
  }
}

TEST_F(CoffSamplesTest, SkipsDebugStackAndPasswordSectionsAndKeepsLongNames) {
  ASSERT_EQ(Read("droneshire__ti__F28335_example_nonBIOS_flash.out", kF2808),
            ProgramReadResult::Ok);
  // 8-character names stored without a NUL, and names from the string table.
  EXPECT_EQ(Names(),
            (std::vector<std::string>{".text", ".cinit", ".econst", "codestart", "csm_rsvd",
                                      "internalMemFuncs", "passwords", "secureRamFuncs"}));
  ASSERT_EQ(Read("droneshire__ti__F28035_Prog1.out", kF2808), ProgramReadResult::Ok);
  EXPECT_EQ(Names(), (std::vector<std::string>{".cinit", ".text", "codestart", "ramfuncs",
                                               "csmpasswds", "csm_rsvd", ".econst"}));
  // The password words linked at 0x3F7FF8 come in as an ordinary flash section.
  EXPECT_EQ(image_.sections[4]->address, 0x3F7FF8u);
  EXPECT_EQ(image_.sections[4]->sectorMask, 0x01);
}

TEST_F(CoffSamplesTest, CopiesRawDataFromOddFileOffsets) {
  // proj_lab01 places .text at file offset 1801.
  ASSERT_EQ(Read("droneshire__ti__proj_lab01.out", kF2808), ProgramReadResult::Ok);
  std::ifstream file(kSamples / "droneshire__ti__proj_lab01.out", std::ios::binary);
  file.seekg(1801);
  std::vector<char> raw(2 * 14216);
  ASSERT_TRUE(file.read(raw.data(), static_cast<std::streamsize>(raw.size())));
  const ImageSection& text = *image_.sections[1];
  ASSERT_EQ(text.name, ".text");
  ASSERT_EQ(text.wordCount, 14216u);
  EXPECT_EQ(std::memcmp(text.data, raw.data(), raw.size()), 0);
  EXPECT_EQ(text.data[0], 0xB2BD);
}

TEST_F(CoffSamplesTest, OtherCpuFamiliesAreRefused) {
  for (const char* file :
       {"Furkanprlk__DSP_F28335_Examples__sine.out",
        "Furkanprlk__DSP_F28335_Examples__template.out", "droneshire__ti__gcd.out"}) {
    EXPECT_EQ(Read(file, kF2808), ProgramReadResult::TargetMismatch) << file;
  }
}

}  // namespace
