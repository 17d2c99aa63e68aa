// The program the write benchmarks send: one section per sector of the F2809,
// filling its flash except the password words, which stay erased so the part
// is not secured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/McuCatalogue.h"
#include "tests/support/CoffWriter.h"

inline std::vector<uint8_t> FullF2809Coff() {
  const McuInfo& mcu = kF2809.info();
  CoffWriter writer;
  for (uint32_t sector = 0; sector < mcu.sectorCount; ++sector) {
    const uint32_t first = mcu.flashFirst + sector * mcu.sectorWords;
    std::vector<uint16_t> words(mcu.sectorWords);
    for (uint32_t i = 0; i < words.size(); ++i) {
      words[i] = first + i >= kCsmKeyAddress ? 0xFFFF : static_cast<uint16_t>((first + i) * 40503u);
    }
    writer.Add("sector" + std::to_string(sector), first, std::move(words));
  }
  return writer.Build();
}
