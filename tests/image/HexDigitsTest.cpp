#include "image/HexDigits.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The digits of `bytes`, upper or lower case.
std::string DigitsOf(const std::vector<uint8_t>& bytes, const char* format) {
  std::string digits;
  for (const uint8_t byte : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, format, byte);
    digits += pair;
  }
  return digits;
}

TEST(HexDigitsTest, EveryByteDecodesInEitherCaseWhereverItStands) {
  std::vector<uint8_t> every(256);
  for (int i = 0; i < 256; ++i) {
    every[i] = static_cast<uint8_t>(i);
  }
  // Runs of every length up to a few times 32 digits, from many starts.
  for (const char* format : {"%02X", "%02x"}) {
    const std::string digits = DigitsOf(every, format);
    for (size_t first = 0; first < 16; ++first) {
      for (size_t count = 0; count <= 40; ++count) {
        std::vector<uint8_t> bytes(count);
        ASSERT_EQ(DecodeHexBytes(digits.data() + 2 * first, count, bytes.data()), count);
        EXPECT_EQ(bytes, std::vector<uint8_t>(every.begin() + first, every.begin() + first + count))
            << format << " from " << first << ", " << count;
      }
    }
  }
}

TEST(HexDigitsTest, TheFirstPairWithAnythingButADigitIsFound) {
  // Two runs of 32 and a few pairs after them.
  const std::string good = std::string("0123456789abcdefABCDEF0123456789") +
                           "ABCDEF0123456789abcdef0123456789" + "aBcDeF";
  for (int c = 0; c < 256; ++c) {
    if (HexDigitValue(static_cast<char>(c)) >= 0) {
      continue;
    }
    for (size_t at = 0; at < good.size(); ++at) {
      std::string digits = good;
      digits[at] = static_cast<char>(c);
      std::vector<uint8_t> bytes(good.size() / 2);
      EXPECT_EQ(DecodeHexBytes(digits.data(), bytes.size(), bytes.data()), at / 2)
          << "character " << c << " at " << at;
    }
  }
}

TEST(HexDigitsTest, SingleDigitsAndPairs) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('g'), -1);
  EXPECT_EQ(HexByteValue("a5"), 0xA5);
  EXPECT_EQ(HexByteValue("5 "), -1);
}

}  // namespace
