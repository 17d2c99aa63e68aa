// Hexadecimal digits as the text formats spell their bytes. Programs run to
// millions of digits, so where the processor allows they decode 32 at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

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

// Decodes a run of pairs one space apart ("0A 1B 2C"), as TI-TXT lines hold
// them, into `bytes`, which must have room for (text.size() + 1) / 3.
// Returns how many pairs there were, or kNotSpacedPairs when the text is laid
// out any other way or a pair is not two hexadecimal digits. (A plain count:
// GCC returns an optional through memory in a way that stalls the caller.)
inline constexpr size_t kNotSpacedPairs = SIZE_MAX;
size_t DecodeSpacedPairs(std::string_view text, uint8_t* bytes);

// Decodes the `count` words that the 4 * `count` digits at `digits` spell,
// each high byte first as Intel HEX gives them, into `words`, and adds the
// value of every byte decoded to `byteSum`. Returns how many words came
// before the first that is not four hexadecimal digits: `count` when all are.
size_t DecodeHexWordsHighFirst(const char* digits, size_t count, uint16_t* words,
                               uint32_t& byteSum);
