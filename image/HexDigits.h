// Hexadecimal digits as the text formats spell their bytes. Programs run to
// millions of digits, so where the processor allows they decode 32 at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::array<int8_t, 256> kHexDigitValues = [] {
  std::array<int8_t, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 10; ++i) {
    table['0' + i] = static_cast<int8_t>(i);
  }
  for (int i = 0; i < 6; ++i) {
    table['a' + i] = table['A' + i] = static_cast<int8_t>(10 + i);
  }
  return table;
}();

// The value of a hexadecimal digit, or -1.
inline int HexDigitValue(char c) {
  return kHexDigitValues[static_cast<unsigned char>(c)];
}

// The byte that two hexadecimal digits spell, or -1.
inline int HexByteValue(const char* digits) {
  const int high = HexDigitValue(digits[0]);
  const int low = HexDigitValue(digits[1]);
  return high < 0 || low < 0 ? -1 : high << 4 | low;
}

// Decodes the `count` bytes that the 2 * `count` digits at `digits` spell
// into `bytes`. Returns how many came before the first pair that is not two
// hexadecimal digits: `count` when all are.
size_t DecodeHexBytes(const char* digits, size_t count, uint8_t* bytes);
