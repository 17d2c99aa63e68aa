#include "tests/ops/Programs.h"

std::vector<uint16_t> Pattern(uint32_t count, uint16_t seed) {
  std::vector<uint16_t> words(count);
  for (uint32_t i = 0; i < count; ++i) {
    words[i] = static_cast<uint16_t>(0x1000 + seed + i);
  }
  return words;
}

CoffWriter FlashProgram(uint16_t seed) {
  CoffWriter writer;
  writer.Add(".text", 0x3E8000, Pattern(100, seed))
      .Add(".econst", 0x3F0000, Pattern(30, static_cast<uint16_t>(seed + 0x200)), kCoffData)
      .Add("codestart", 0x3F7FF6, {0x0040, 0x8000})
      .Add("ramfuncs", 0x8000, Pattern(10, 0x300));
  return writer;
}

CoffWriter RamProgram() {
  CoffWriter writer;
  writer.Add(".text", 0x8000, Pattern(20, 0)).Add(".data", 0x9000, Pattern(5, 0x40), kCoffData);
  return writer;
}

CoffWriter ManySections(uint32_t count) {
  CoffWriter writer;
  for (uint32_t i = 0; i < count; ++i) {
    writer.Add("s" + std::to_string(i), 0x3E8000 + 2 * i, {static_cast<uint16_t>(i)});
  }
  return writer;
}

CoffWriter FlashWords(uint32_t words) {
  // More than any device's flash holds: sections may overlap, and each counts.
  constexpr uint32_t kF2809FlashWords = 0x20000;
  CoffWriter writer;
  for (uint32_t placed = 0; placed < words; placed += kF2809FlashWords) {
    writer.Add("part" + std::to_string(placed / kF2809FlashWords), 0x3D8000,
               std::vector<uint16_t>(std::min(words - placed, kF2809FlashWords), 0x1234));
  }
  return writer;
}
