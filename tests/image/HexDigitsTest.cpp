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

// `bytes` as pairs one space apart, as a TI-TXT line has them.
std::string SpacedPairsOf(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", byte);
    text += pair;
  }
  return text;
}

std::vector<uint8_t> CountingBytes(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<uint8_t>(first + 37 * i);
  }
  return bytes;
}

TEST(HexDigitsTest, WordsDecodeHighByteFirstWithTheSumOfTheirBytes) {
  for (size_t count = 0; count <= 40; ++count) {
    const std::vector<uint8_t> bytes = CountingBytes(2 * count, 0xF0);
    std::vector<uint16_t> expected(count);
    uint32_t expectedSum = 5;
    for (size_t i = 0; i < count; ++i) {
      expected[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
      expectedSum += bytes[2 * i] + bytes[2 * i + 1];
    }
    std::vector<uint16_t> words(count);
    uint32_t sum = 5;
    ASSERT_EQ(DecodeHexWordsHighFirst(DigitsOf(bytes, "%02x").c_str(), count, words.data(), sum),
              count);
    EXPECT_EQ(words, expected) << count;
    EXPECT_EQ(sum, expectedSum) << count;
  }
}

TEST(HexDigitsTest, WordsStopAtTheFirstBadDigitSummingOnlyThoseBefore) {
  const std::vector<uint8_t> bytes = CountingBytes(2 * 20, 3);
  for (size_t at = 0; at < 4 * 20; ++at) {
    std::string digits = DigitsOf(bytes, "%02X");
    digits[at] = ' ';
    std::vector<uint16_t> words(20);
    uint32_t sum = 0;
    const size_t good = at / 4;
    ASSERT_EQ(DecodeHexWordsHighFirst(digits.c_str(), 20, words.data(), sum), good) << at;
    uint32_t expectedSum = 0;
    for (size_t i = 0; i < 2 * good; ++i) {
      expectedSum += bytes[i];
    }
    EXPECT_EQ(sum, expectedSum) << at;
  }
}

TEST(HexDigitsTest, SpacedPairsDecodeInRunsOfAnyLength) {
  for (size_t count = 1; count <= 40; ++count) {
    const std::vector<uint8_t> expected = CountingBytes(count, 0x5A);
    std::vector<uint8_t> bytes(count);
    ASSERT_EQ(DecodeSpacedPairs(SpacedPairsOf(expected), bytes.data()), count);
    EXPECT_EQ(bytes, expected) << count;
  }
  uint8_t byte = 0;
  EXPECT_EQ(DecodeSpacedPairs("", &byte), kNotSpacedPairs);
}

TEST(HexDigitsTest, SpacedPairsRefuseAnythingOutOfPlace) {
  // Two blocks of sixteen pairs and a few more, each character in turn wrong.
  const std::string good = SpacedPairsOf(CountingBytes(35, 1));
  std::vector<uint8_t> bytes(35);
  for (size_t at = 0; at < good.size(); ++at) {
    const bool digit = at % 3 != 2;
    for (const char wrong : digit ? std::string("g \t:") : std::string("0\tA")) {
      std::string text = good;
      text[at] = wrong;
      EXPECT_EQ(DecodeSpacedPairs(text, bytes.data()), kNotSpacedPairs)
          << "'" << wrong << "' at " << at;
    }
  }
  for (const std::string& text : {good + " ", " " + good, good + "0", good.substr(1)}) {
    EXPECT_EQ(DecodeSpacedPairs(text, bytes.data()), kNotSpacedPairs) << text;
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
