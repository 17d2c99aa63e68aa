#include "image/McuCatalogue.h"

#include <algorithm>
#include <cctype>

#include "image/ProgramImage.h"

std::optional<McuType> FindMcuType(std::string_view name) {
  const auto sameName = [name](const McuInfo& mcu) {
    return std::ranges::equal(name, mcu.name, [](char a, char b) {
      return std::toupper(static_cast<unsigned char>(a)) == b;
    });
  };
  const auto it = std::ranges::find_if(kMcuCatalogue, sameName);
  if (it == kMcuCatalogue.end()) {
    return std::nullopt;
  }
  return McuType::FromIndex(static_cast<int>(it - kMcuCatalogue.begin()));
}

std::optional<FlashSector> FindSector(const McuInfo& mcu, uint32_t address) {
  if (address < mcu.flashFirst || address > mcu.flashLast) {
    return std::nullopt;
  }
  const auto index = static_cast<uint8_t>((mcu.flashLast - address) / mcu.sectorWords);
  return FlashSector{index, static_cast<uint16_t>(1u << index)};
}

void ClassifySection(uint32_t wordCount, uint32_t address, ImageSection& section, McuType mcuType) {
  const McuInfo& mcu = mcuType.info();
  section.inFlash = false;
  section.sectorMask = 0;
  const auto first = FindSector(mcu, address);
  if (!first) {
    return;
  }
  section.inFlash = true;
  // The last word is computed without 32-bit wrap-around, so a huge count runs
  // past the flash instead of landing back inside it.
  const uint64_t lastWord = uint64_t{address} + wordCount - 1;
  if (wordCount == 0 || lastWord > mcu.flashLast) {
    return;
  }
  const auto last = FindSector(mcu, static_cast<uint32_t>(lastWord));
  // Sectors count downwards, so the last word's sector has the lower index.
  for (uint8_t n = last->index; n <= first->index; ++n) {
    section.sectorMask |= static_cast<uint16_t>(1u << n);
  }
}

namespace {

constexpr bool FlashBlockMatches(const McuInfo& mcu) {
  return std::ranges::count_if(mcu.memory, [&mcu](const MemoryBlock& block) {
           return block.kind == MemoryKind::Flash && block.first == mcu.flashFirst &&
                  block.last == mcu.flashLast;
         }) == 1;
}
static_assert(std::ranges::all_of(kMcuCatalogue, FlashBlockMatches),
              "each device's memory map holds its flash once, as its sectors span it");

const MemoryBlock* BlockHolding(const McuInfo& mcu, uint64_t address) {
  const auto it = std::ranges::find_if(mcu.memory, [address](const MemoryBlock& block) {
    return address >= block.first && address <= block.last;
  });
  return it == mcu.memory.end() ? nullptr : &*it;
}

SectionPlace PlaceOfKind(MemoryKind kind) {
  switch (kind) {
    case MemoryKind::Flash:
      return SectionPlace::Flash;
    case MemoryKind::Otp:
      return SectionPlace::Otp;
    case MemoryKind::Ram:
      break;
  }
  return SectionPlace::Ram;
}

}  // namespace

SectionPlace PlaceSection(const McuInfo& mcu, uint32_t address, uint32_t wordCount) {
  const MemoryBlock* block = BlockHolding(mcu, address);
  if (block == nullptr) {
    return SectionPlace::Outside;
  }
  // 64 bits: a huge count must run off the end, not wrap back into memory.
  const uint64_t lastWord = uint64_t{address} + std::max<uint32_t>(wordCount, 1) - 1;
  for (const MemoryBlock* next = block; next->last < lastWord;) {
    next = BlockHolding(mcu, uint64_t{next->last} + 1);
    if (next == nullptr || next->kind != block->kind) {
      return block->kind == MemoryKind::Flash ? SectionPlace::PastFlashEnd : SectionPlace::Outside;
    }
  }
  return PlaceOfKind(block->kind);
}

uint16_t EraseMask(bool eraseAll, McuType mcuType, const ProgramImage& image) {
  const uint16_t all = mcuType.info().allSectorsMask;
  return eraseAll ? all : image.flashSectorMask() & all;
}
