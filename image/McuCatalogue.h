// The five TMS320F280x devices this programmer knows: where their flash lies,
// how it splits into sectors, and how a section of a program maps onto them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

struct ImageSection;
class ProgramImage;

struct McuInfo {
  std::string_view name;   // short name for the command line, "F2808"
  std::string_view label;  // the device's item in the window's device list
  uint8_t podCode;         // device code the POD knows: index + 1
  uint32_t flashFirst;     // first word address of the flash
  uint32_t flashLast;      // last word address of the flash
  uint32_t sectorWords;
  uint8_t sectorCount;
  uint16_t allSectorsMask;
};

// Indexed by McuType, in the order of the window's device list.
inline constexpr std::array<McuInfo, 5> kMcuCatalogue{{
    {"F2801", "F2801 - 100MHz (20MHz * 5)", 1, 0x3F4000, 0x3F7FFF, 0x1000, 4, 0x0F},
    {"F2802", "F2802 - 100MHz (20MHz * 5)", 2, 0x3F0000, 0x3F7FFF, 0x2000, 4, 0x0F},
    {"F2806", "F2806 - 100MHz (20MHz * 5)", 3, 0x3F0000, 0x3F7FFF, 0x2000, 4, 0x0F},
    {"F2808", "F2808 - 100MHz (20MHz * 5)", 4, 0x3E8000, 0x3F7FFF, 0x4000, 4, 0x0F},
    {"F2809", "F2809 - 100MHz (20MHz * 5)", 5, 0x3D8000, 0x3F7FFF, 0x4000, 8, 0xFF},
}};

inline constexpr uint8_t kMcuTypeCount = kMcuCatalogue.size();
inline constexpr uint8_t kDefaultMcuType = 3;  // F2808

// The CSM password KEY0..KEY7 lies at kCsmKeyAddress + n on every device.
inline constexpr uint32_t kCsmKeyAddress = 0x3F7FF8;

// What the POD's serial-flash store can hold.
inline constexpr uint16_t kPodMaxSections = 70;
inline constexpr uint32_t kPodMaxBytes = 0x80000;

// The device entry for a McuType; a value above the last device means the last
// device (F2809), the one with the largest flash.
const McuInfo& McuEntry(uint8_t mcuType);

// The McuType whose short name is `name` ("F2808", any letter case).
std::optional<uint8_t> FindMcuType(std::string_view name);

// One flash sector: sector 0 is the highest, ending at flashLast.
struct FlashSector {
  uint8_t index;
  uint16_t bit;  // 1 << index, the sector's bit in a sector mask
};

// The sector holding `address`, or none outside the device's flash.
std::optional<FlashSector> FindSector(const McuInfo& mcu, uint32_t address);

// Sets the section's inFlash and sectorMask for the device: a section is a
// flash section when its first word lies in the flash; its mask holds every
// sector it touches, or is 0 when it runs past the end of the flash.
void ClassifySection(uint32_t wordCount, uint32_t address, ImageSection& section, uint8_t mcuType);

// The sectors to erase: all of the device's sectors, or only those the image's
// flash sections touch.
uint16_t EraseMask(bool eraseAll, uint8_t mcuType, const ProgramImage& image);
