#include "image/McuCatalogue.h"

#include <gtest/gtest.h>

#include <memory>

#include "image/ProgramImage.h"

namespace {

struct SectorCase {
  McuType mcu;
  uint8_t sector;
  uint32_t first;
  uint32_t last;
};

TEST(McuCatalogueTest, SectorsCoverTheirRangesFromTheTopDown) {
  const SectorCase cases[] = {
      {kF2801, 0, 0x3F7000, 0x3F7FFF}, {kF2801, 1, 0x3F6000, 0x3F6FFF},
      {kF2801, 2, 0x3F5000, 0x3F5FFF}, {kF2801, 3, 0x3F4000, 0x3F4FFF},
      {kF2802, 0, 0x3F6000, 0x3F7FFF}, {kF2802, 1, 0x3F4000, 0x3F5FFF},
      {kF2802, 2, 0x3F2000, 0x3F3FFF}, {kF2802, 3, 0x3F0000, 0x3F1FFF},
      {kF2806, 0, 0x3F6000, 0x3F7FFF}, {kF2806, 3, 0x3F0000, 0x3F1FFF},
      {kF2808, 0, 0x3F4000, 0x3F7FFF}, {kF2808, 1, 0x3F0000, 0x3F3FFF},
      {kF2808, 2, 0x3EC000, 0x3EFFFF}, {kF2808, 3, 0x3E8000, 0x3EBFFF},
      {kF2809, 0, 0x3F4000, 0x3F7FFF}, {kF2809, 3, 0x3E8000, 0x3EBFFF},
      {kF2809, 4, 0x3E4000, 0x3E7FFF}, {kF2809, 5, 0x3E0000, 0x3E3FFF},
      {kF2809, 6, 0x3DC000, 0x3DFFFF}, {kF2809, 7, 0x3D8000, 0x3DBFFF},
  };
  for (const SectorCase& c : cases) {
    SCOPED_TRACE(std::string(c.mcu.info().name) + " sector " + std::to_string(c.sector));
    const McuInfo& mcu = c.mcu.info();
    for (const uint32_t address : {c.first, c.last}) {
      const auto sector = FindSector(mcu, address);
      ASSERT_TRUE(sector.has_value());
      EXPECT_EQ(sector->index, c.sector);
      EXPECT_EQ(sector->bit, 1u << c.sector);
    }
  }
}

TEST(McuCatalogueTest, NoSectorOutsideTheFlash) {
  for (const McuInfo& mcu : kMcuCatalogue) {
    EXPECT_FALSE(FindSector(mcu, mcu.flashFirst - 1)) << mcu.name;
    EXPECT_FALSE(FindSector(mcu, 0x3F8000)) << mcu.name;
    EXPECT_FALSE(FindSector(mcu, 0)) << mcu.name;
  }
}

TEST(McuCatalogueTest, ANumberBecomesADeviceOnlyWhenItNamesOne) {
  EXPECT_EQ(McuType::FromIndex(0), kF2801);
  EXPECT_EQ(McuType::FromIndex(4), kF2809);
  EXPECT_EQ(McuType::FromIndex(5), std::nullopt);
  EXPECT_EQ(McuType::FromIndex(-1), std::nullopt);
  // Where a number must give a device (a setting), past the last means F2809.
  EXPECT_EQ(McuType::Nearest(5), kF2809);
  EXPECT_EQ(McuType::Nearest(255), kF2809);
  EXPECT_EQ(McuType::Nearest(1), kF2802);
  EXPECT_EQ(McuType{}, kF2808);
  EXPECT_EQ(kF2808.info().podCode, 4);
}

TEST(McuCatalogueTest, FindsDevicesByShortName) {
  EXPECT_EQ(FindMcuType("F2801"), kF2801);
  EXPECT_EQ(FindMcuType("f2809"), kF2809);
  EXPECT_EQ(FindMcuType("F2803"), std::nullopt);
  EXPECT_EQ(FindMcuType("F28080"), std::nullopt);
  EXPECT_EQ(FindMcuType(""), std::nullopt);
}

struct ClassifyCase {
  const char* what;
  McuType mcu;
  uint32_t address;
  uint32_t words;
  bool inFlash;
  uint16_t mask;
};

TEST(McuCatalogueTest, ClassifiesSections) {
  const ClassifyCase cases[] = {
      {"below the F2801 flash", kF2801, 0x3F0000, 0x100, false, 0},
      {"bottom sector of F2802", kF2802, 0x3F0000, 0x100, true, 0x08},
      {"F2806 shares the F2802 layout", kF2806, 0x3F0000, 0x100, true, 0x08},
      {"across sectors 3 and 2", kF2808, 0x3EBFF0, 0x20, true, 0x0C},
      {"whole F2801 flash", kF2801, 0x3F4000, 0x4000, true, 0x0F},
      {"whole F2809 flash", kF2809, 0x3D8000, 0x20000, true, 0xFF},
      {"password on F2801", kF2801, kCsmKeyAddress, 8, true, 0x01},
      {"password on F2802", kF2802, kCsmKeyAddress, 8, true, 0x01},
      {"password on F2806", kF2806, kCsmKeyAddress, 8, true, 0x01},
      {"password on F2808", kF2808, kCsmKeyAddress, 8, true, 0x01},
      {"password on F2809", kF2809, kCsmKeyAddress, 8, true, 0x01},
      {"runs past the flash", kF2808, 0x3F7FF0, 0x20, true, 0},
      {"count that wraps 32 bits", kF2808, 0x3F0000, 0xFFFFFFFF, true, 0},
      {"above the flash", kF2808, 0x3F8000, 1, false, 0},
      {"one word below F2809 flash", kF2809, 0x3D7FFF, 1, false, 0},
      {"starts below, runs in", kF2808, 0x3E7FF0, 0x100, false, 0},
  };
  for (const ClassifyCase& c : cases) {
    SCOPED_TRACE(c.what);
    ImageSection section;
    section.inFlash = !c.inFlash;
    section.sectorMask = 0xAAAA;
    ClassifySection(c.words, c.address, section, c.mcu);
    EXPECT_EQ(section.inFlash, c.inFlash);
    EXPECT_EQ(section.sectorMask, c.mask);
  }
}

TEST(McuCatalogueTest, PlacesSectionsInTheDevicesMemory) {
  using enum SectionPlace;
  const struct {
    const char* what;
    McuType mcu;
    uint32_t address;
    uint32_t words;
    SectionPlace place;
  } cases[] = {
      {"M0 and M1 run on into each other", kF2801, 0x000000, 0x800, Ram},
      {"past M1", kF2801, 0x000700, 0x101, Outside},
      {"PIE vector RAM", kF2801, 0x000D00, 0x100, Ram},
      {"PIE vector RAM on the largest device", kF2809, 0x000DFF, 1, Ram},
      {"past the PIE vectors", kF2808, 0x000DFF, 2, Outside},
      {"peripheral frame 0 before the PIE vectors", kF2808, 0x000CFF, 1, Outside},
      {"L0 of the smallest device", kF2801, 0x008000, 0x1000, Ram},
      {"L1 only from the F2806 on", kF2802, 0x009000, 1, Outside},
      {"L1 of the F2806", kF2806, 0x009000, 0x1000, Ram},
      {"H0 only on the F2808 and F2809", kF2806, 0x00A000, 1, Outside},
      {"L0 through H0 of the F2808", kF2808, 0x008000, 0x4000, Ram},
      {"past H0", kF2809, 0x00BFFF, 2, Outside},
      {"L0 at its high address", kF2801, 0x3F8000, 0x1000, Ram},
      {"H0 at its high address", kF2809, 0x3FA000, 0x2000, Ram},
      {"H0's high address on the F2801", kF2801, 0x3FA000, 1, Outside},
      {"OTP", kF2802, 0x3D7800, 0x400, Otp},
      {"past the OTP", kF2802, 0x3D7BFF, 2, Outside},
      {"between RAM and OTP", kF2809, 0x100000, 4, Outside},
      {"boot ROM", kF2808, 0x3FF000, 1, Outside},
      {"flash only larger devices have", kF2801, 0x3F0000, 0x100, Outside},
      {"the F2801's whole flash", kF2801, 0x3F4000, 0x4000, Flash},
      {"flash running into L0's high address", kF2806, 0x3F7FF0, 0x11, PastFlashEnd},
      {"a count that would wrap round", kF2808, 0x3E8000, 0xFFFFFFFF, PastFlashEnd},
      {"an empty section inside the flash", kF2809, 0x3D8000, 0, Flash},
      {"an empty section in no memory", kF2809, 0x3FC000, 0, Outside},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PlaceSection(c.mcu.info(), c.address, c.words), c.place);
  }
}

struct EraseCase {
  bool eraseAll;
  McuType mcu;
  uint16_t imageMask;
  uint16_t expected;
};

TEST(McuCatalogueTest, EraseMaskIsAllSectorsOrTheImageSectors) {
  const EraseCase cases[] = {
      {true, kF2801, 0x00, 0x0F},  {true, kF2806, 0x01, 0x0F},  {true, kF2808, 0x05, 0x0F},
      {true, kF2809, 0x01, 0xFF},  {false, kF2808, 0x05, 0x05}, {false, kF2809, 0xC1, 0xC1},
      {false, kF2808, 0x00, 0x00}, {false, kF2801, 0xF3, 0x03},
  };
  ProgramImage image;
  auto flash = std::make_unique<ImageSection>();
  flash->inFlash = true;
  image.AppendSection(std::move(flash));
  for (const EraseCase& c : cases) {
    image.sections[0]->sectorMask = c.imageMask;
    EXPECT_EQ(EraseMask(c.eraseAll, c.mcu, image), c.expected)
        << "eraseAll " << c.eraseAll << " mcu " << int{c.mcu.index()} << " mask " << c.imageMask;
  }
}

}  // namespace
