#include "image/HexDigits.h"

#include <bit>
#include <cstring>

namespace {

constexpr uint64_t kEachByte = 0x0101010101010101;
constexpr uint64_t kHighBits = 0x80 * kEachByte;

// The eight characters at `text` with the first in the lowest byte.
uint64_t LoadEight(const char* text) {
  uint64_t chars;
  std::memcpy(&chars, text, sizeof chars);
  if constexpr (std::endian::native == std::endian::big) {
    uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i) {
      swapped = swapped << 8 | (chars >> (8 * i) & 0xFF);
    }
    chars = swapped;
  }
  return chars;
}

// The high bit of each byte of `chars` (all below 0x80) that lies within
// [low, high]. The sums cannot carry from one byte into the next.
uint64_t WithinRange(uint64_t chars, uint8_t low, uint8_t high) {
  const uint64_t atLeastLow = chars + (0x80 - low) * kEachByte;
  const uint64_t aboveHigh = chars + (0x7F - high) * kEachByte;
  return atLeastLow & ~aboveHigh & kHighBits;
}

// The four bytes that eight digits spell, the first in the lowest byte; false
// when any of the eight is not a hexadecimal digit.
bool DecodeEight(uint64_t chars, uint32_t& bytes) {
  if ((chars & kHighBits) != 0) {
    return false;
  }
  const uint64_t isDigit = WithinRange(chars, '0', '9');
  const uint64_t isLetter = WithinRange(chars | 0x20 * kEachByte, 'a', 'f');
  if ((isDigit | isLetter) != kHighBits) {
    return false;
  }
  // '0'-'9' end in their value; 'a'-'f' and 'A'-'F' end in their value less 9.
  const uint64_t nibbles = (chars & 0x0F * kEachByte) + (isLetter >> 7) * 9;
  // Each pair of nibbles into the low byte of its 16-bit lane, then the four
  // lanes' low bytes together.
  uint64_t packed = (nibbles << 4 | nibbles >> 8) & 0x00FF00FF00FF00FF;
  packed = (packed | packed >> 8) & 0x0000FFFF0000FFFF;
  bytes = static_cast<uint32_t>(packed | packed >> 16);
  return true;
}

}  // namespace

size_t DecodeHexBytes(const char* digits, size_t count, uint8_t* bytes) {
  size_t done = 0;
  uint32_t four;
  for (; done + 4 <= count && DecodeEight(LoadEight(digits + 2 * done), four); done += 4) {
    for (int i = 0; i < 4; ++i) {
      bytes[done + i] = static_cast<uint8_t>(four >> (8 * i));
    }
  }
  // The last few, and where eight did not decode, the pair at fault.
  for (; done < count; ++done) {
    const int byte = HexByteValue(digits + 2 * done);
    if (byte < 0) {
      return done;
    }
    bytes[done] = static_cast<uint8_t>(byte);
  }
  return count;
}
