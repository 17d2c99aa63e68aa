// The five TMS320F280x devices this programmer knows: their memory, where
// their flash lies, how it splits into sectors, and how a section of a
// program maps onto them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct ImageSection;
class ProgramImage;

enum class MemoryKind : uint8_t { Flash, Otp, Ram };

// One block of a device's memory, in word addresses, both ends included.
struct MemoryBlock {
  uint32_t first;
  uint32_t last;
  MemoryKind kind;
};

// The memory maps of TI's TMS320F280x data sheet (SPRS230): every device has
// the M0 and M1 SARAM, the PIE vector RAM, the L0 SARAM and the OTP; the F2806
// adds L1 (10K words of RAM in all) and the F2808 and F2809 add L1 and H0 (18K
// words). L0, L1 and H0 also answer at a second, high address next to the
// flash. The flash block spans the device's sectors, from flashFirst to
// flashLast. The PIE vectors are RAM that a program may load (a table of
// interrupt vectors) and the boot loader may write.
inline constexpr MemoryBlock kM0Saram{0x000000, 0x0003FF, MemoryKind::Ram};
inline constexpr MemoryBlock kM1Saram{0x000400, 0x0007FF, MemoryKind::Ram};
inline constexpr MemoryBlock kPieVectorRam{0x000D00, 0x000DFF, MemoryKind::Ram};
inline constexpr MemoryBlock kL0Saram{0x008000, 0x008FFF, MemoryKind::Ram};
inline constexpr MemoryBlock kL1Saram{0x009000, 0x009FFF, MemoryKind::Ram};
inline constexpr MemoryBlock kH0Saram{0x00A000, 0x00BFFF, MemoryKind::Ram};
inline constexpr MemoryBlock kOtp{0x3D7800, 0x3D7BFF, MemoryKind::Otp};
inline constexpr MemoryBlock kL0SaramHigh{0x3F8000, 0x3F8FFF, MemoryKind::Ram};
inline constexpr MemoryBlock kL1SaramHigh{0x3F9000, 0x3F9FFF, MemoryKind::Ram};
inline constexpr MemoryBlock kH0SaramHigh{0x3FA000, 0x3FBFFF, MemoryKind::Ram};

// Each device's blocks in address order.
inline constexpr std::array<MemoryBlock, 7> kF2801Memory{{kM0Saram,
                                                          kM1Saram,
                                                          kPieVectorRam,
                                                          kL0Saram,
                                                          kOtp,
                                                          {0x3F4000, 0x3F7FFF, MemoryKind::Flash},
                                                          kL0SaramHigh}};
inline constexpr std::array<MemoryBlock, 7> kF2802Memory{{kM0Saram,
                                                          kM1Saram,
                                                          kPieVectorRam,
                                                          kL0Saram,
                                                          kOtp,
                                                          {0x3F0000, 0x3F7FFF, MemoryKind::Flash},
                                                          kL0SaramHigh}};
inline constexpr std::array<MemoryBlock, 9> kF2806Memory{{kM0Saram,
                                                          kM1Saram,
                                                          kPieVectorRam,
                                                          kL0Saram,
                                                          kL1Saram,
                                                          kOtp,
                                                          {0x3F0000, 0x3F7FFF, MemoryKind::Flash},
                                                          kL0SaramHigh,
                                                          kL1SaramHigh}};
inline constexpr std::array<MemoryBlock, 11> kF2808Memory{{kM0Saram,
                                                           kM1Saram,
                                                           kPieVectorRam,
                                                           kL0Saram,
                                                           kL1Saram,
                                                           kH0Saram,
                                                           kOtp,
                                                           {0x3E8000, 0x3F7FFF, MemoryKind::Flash},
                                                           kL0SaramHigh,
                                                           kL1SaramHigh,
                                                           kH0SaramHigh}};
inline constexpr std::array<MemoryBlock, 11> kF2809Memory{{kM0Saram,
                                                           kM1Saram,
                                                           kPieVectorRam,
                                                           kL0Saram,
                                                           kL1Saram,
                                                           kH0Saram,
                                                           kOtp,
                                                           {0x3D8000, 0x3F7FFF, MemoryKind::Flash},
                                                           kL0SaramHigh,
                                                           kL1SaramHigh,
                                                           kH0SaramHigh}};

struct McuInfo {
  std::string_view name;   // short name for the command line, "F2808"
  std::string_view label;  // the device's item in the window's device list
  uint8_t podCode;         // device code the POD knows: index + 1
  uint32_t flashFirst;     // first word address of the flash
  uint32_t flashLast;      // last word address of the flash
  uint32_t sectorWords;
  uint8_t sectorCount;
  uint16_t allSectorsMask;
  std::span<const MemoryBlock> memory;
  bool ramBootNeedsKeys;  // a secured part boots into RAM only with its CSM keys
};

// Indexed by McuType::index(), in the order of the window's device list.
inline constexpr std::array<McuInfo, 5> kMcuCatalogue{{
    {"F2801", "F2801 - 100MHz (20MHz * 5)", 1, 0x3F4000, 0x3F7FFF, 0x1000, 4, 0x0F, kF2801Memory,
     true},
    {"F2802", "F2802 - 100MHz (20MHz * 5)", 2, 0x3F0000, 0x3F7FFF, 0x2000, 4, 0x0F, kF2802Memory,
     true},
    {"F2806", "F2806 - 100MHz (20MHz * 5)", 3, 0x3F0000, 0x3F7FFF, 0x2000, 4, 0x0F, kF2806Memory,
     true},
    {"F2808", "F2808 - 100MHz (20MHz * 5)", 4, 0x3E8000, 0x3F7FFF, 0x4000, 4, 0x0F, kF2808Memory,
     false},
    {"F2809", "F2809 - 100MHz (20MHz * 5)", 5, 0x3D8000, 0x3F7FFF, 0x4000, 8, 0xFF, kF2809Memory,
     false},
}};

inline constexpr uint8_t kMcuTypeCount = kMcuCatalogue.size();

// A device of the catalogue, by its place there and in the window's device
// list. One is valid from the moment it is made: a number or a name becomes
// one where it enters (a setting, the device list, --device), so nothing
// that receives one has to check or clamp it.
class McuType {
 public:
  // The F2808, the device chosen until the user picks another.
  constexpr McuType() = default;

  // The device at `index`; none for a number that names none.
  static constexpr std::optional<McuType> FromIndex(int index) {
    if (index < 0 || index >= kMcuTypeCount) {
      return std::nullopt;
    }
    return McuType(static_cast<uint8_t>(index));
  }
  // The device at `index`; a number that names none means the last device
  // (F2809), the one with the largest flash.
  static constexpr McuType Nearest(int index) {
    return FromIndex(index).value_or(McuType(kMcuTypeCount - 1));
  }

  constexpr uint8_t index() const { return index_; }
  constexpr const McuInfo& info() const { return kMcuCatalogue[index_]; }
  constexpr bool operator==(const McuType&) const = default;

 private:
  explicit constexpr McuType(uint8_t index) : index_(index) {}

  uint8_t index_ = 3;
};

inline constexpr McuType kDefaultMcuType;
inline constexpr McuType kF2801 = McuType::Nearest(0);
inline constexpr McuType kF2802 = McuType::Nearest(1);
inline constexpr McuType kF2806 = McuType::Nearest(2);
inline constexpr McuType kF2808 = McuType::Nearest(3);
inline constexpr McuType kF2809 = McuType::Nearest(4);
static_assert(kDefaultMcuType == kF2808 && kF2809.info().name == "F2809");

// TI's F280x linker files reserve the start of M1 (BOOT_RSVD) as the boot
// ROM's stack: a program downloaded into RAM through the boot loader must not
// put data there, or it overwrites the loader that is receiving it.
inline constexpr MemoryBlock kBootRomStack{0x000400, 0x00047F, MemoryKind::Ram};

// The CSM password KEY0..KEY7 lies at kCsmKeyAddress + n on every device.
inline constexpr uint32_t kCsmKeyAddress = 0x3F7FF8;

// What the POD's serial-flash store can hold.
inline constexpr uint16_t kPodMaxSections = 70;
inline constexpr uint32_t kPodMaxBytes = 0x80000;

// The device whose short name is `name` ("F2808", any letter case).
std::optional<McuType> FindMcuType(std::string_view name);

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
void ClassifySection(uint32_t wordCount, uint32_t address, ImageSection& section, McuType mcuType);

// Where a section of `wordCount` words at `address` lies on a device.
enum class SectionPlace : uint8_t {
  Flash,
  Otp,
  Ram,
  // Some of its words are in no memory of the device.
  Outside,
  // It starts in the flash and runs on past its end.
  PastFlashEnd,
};

// A section fits when its words lie in blocks of one kind, one after the
// other without a gap; an empty section is placed by its address alone.
SectionPlace PlaceSection(const McuInfo& mcu, uint32_t address, uint32_t wordCount);

// The sectors to erase: all of the device's sectors, or only those the image's
// flash sections touch.
uint16_t EraseMask(bool eraseAll, McuType mcuType, const ProgramImage& image);
