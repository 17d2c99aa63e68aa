// Texts that quote a number, put together when the program is compiled, so a
// table of texts can say "more than 70 flash sections" from the constant
// itself instead of from a copy of it typed beside the constant.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// A string literal as a template argument.
template <size_t N>
struct TextLiteral {
  char chars[N];
  constexpr TextLiteral(const char (&literal)[N]) { std::copy_n(literal, N, chars); }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

// The length of `number` in decimal with its digits grouped by threes.
constexpr size_t GroupedDecimalLength(uint32_t number) {
  size_t digits = 1;
  for (; number >= 10; number /= 10) {
    ++digits;
  }
  return digits + (digits - 1) / 3;
}

template <TextLiteral head, uint32_t number, TextLiteral tail>
inline constexpr auto kTextWithNumberChars = [] {
  constexpr size_t numberEnd = head.view().size() + GroupedDecimalLength(number);
  std::array<char, numberEnd + tail.view().size()> text{};
  std::ranges::copy(head.view(), text.begin());
  std::ranges::copy(tail.view(), text.begin() + numberEnd);
  // The digits go in from the right, a comma before every third.
  size_t at = numberEnd;
  uint32_t rest = number;
  for (int written = 0; written == 0 || rest != 0; ++written, rest /= 10) {
    if (written > 0 && written % 3 == 0) {
      text[--at] = ',';
    }
    text[--at] = static_cast<char>('0' + rest % 10);
  }
  return text;
}();

// `head`, `number` in decimal grouped by threes ("524,288"), then `tail`.
template <TextLiteral head, uint32_t number, TextLiteral tail>
inline constexpr std::string_view kTextWithNumber{kTextWithNumberChars<head, number, tail>.data(),
                                                  kTextWithNumberChars<head, number, tail>.size()};
