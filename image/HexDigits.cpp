#include "image/HexDigits.h"

#include <cstring>

// x86-64 always has SSE2, whatever the compiler; elsewhere the digits decode
// pair by pair.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BFX_HEX_DIGITS_SSE2 1
#endif

namespace {

#ifdef BFX_HEX_DIGITS_SSE2
// Sixteen digits as the eight bytes they spell, each in the low byte of a
// 16-bit lane; false when any of them is not a hexadecimal digit.
bool DecodeSixteen(__m128i chars, __m128i& pairs) {
  // Unsigned "within [0, n]" as min(x, n) == x, after moving the range to 0.
  const auto atMost = [](__m128i x, char n) {
    return _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(n)), x);
  };
  const __m128i isDigit = atMost(_mm_sub_epi8(chars, _mm_set1_epi8('0')), 9);
  const __m128i isLetter =
      atMost(_mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a')), 5);
  if (_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) != 0xFFFF) {
    return false;
  }
  // '0'-'9' end in their value; 'a'-'f' and 'A'-'F' end in their value less 9.
  const __m128i nibbles = _mm_add_epi8(_mm_and_si128(chars, _mm_set1_epi8(0x0F)),
                                       _mm_and_si128(isLetter, _mm_set1_epi8(9)));
  // Each lane holds a pair, its first digit low.
  pairs = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0x00F0)),
                       _mm_srli_epi16(nibbles, 8));
  return true;
}

// The sixteen bytes that the 32 digits at `digits` spell, in memory order;
// false when any digit is not a hexadecimal digit.
bool DecodeThirtyTwo(const char* digits, __m128i& bytes) {
  __m128i front;
  __m128i back;
  const auto load = [](const char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  if (!DecodeSixteen(load(digits), front) || !DecodeSixteen(load(digits + 16), back)) {
    return false;
  }
  bytes = _mm_packus_epi16(front, back);
  return true;
}

// The eight digits of the four pairs "AB CD EF GH" at `text` (eleven
// characters), the first in the lowest byte, as x86 loads them; false when
// the three spaces are not where they belong.
bool GatherFourPairs(const char* text, uint64_t& digits) {
  uint64_t front;  // "AB CD EF"
  uint64_t back;   // "CD EF GH"
  std::memcpy(&front, text, sizeof front);
  std::memcpy(&back, text + 3, sizeof back);
  if ((front & 0x0000FF0000FF0000) != 0x0000200000200000 ||
      (back & 0x0000FF0000000000) != 0x0000200000000000) {
    return false;
  }
  digits = (front & 0xFFFF) | (front >> 8 & 0xFFFF0000) | (front >> 16 & 0xFFFF00000000) |
           (back & 0xFFFF000000000000);
  return true;
}

// The sixteen bytes of the sixteen pairs one space apart at `text` (47
// characters), in memory order; false when the layout or a digit is wrong.
bool DecodeSixteenSpacedPairs(const char* text, __m128i& bytes) {
  uint64_t groups[4];
  for (int i = 0; i < 4; ++i) {
    // And the space after each group of four but the last.
    if (!GatherFourPairs(text + 12 * i, groups[i]) || (i < 3 && text[12 * i + 11] != ' ')) {
      return false;
    }
  }
  const auto digits = [&](int first) {
    return _mm_set_epi64x(static_cast<int64_t>(groups[first + 1]),
                          static_cast<int64_t>(groups[first]));
  };
  __m128i front;
  __m128i back;
  if (!DecodeSixteen(digits(0), front) || !DecodeSixteen(digits(2), back)) {
    return false;
  }
  bytes = _mm_packus_epi16(front, back);
  return true;
}
#endif

}  // namespace

size_t DecodeHexBytes(const char* digits, size_t count, uint8_t* bytes) {
  size_t done = 0;
#ifdef BFX_HEX_DIGITS_SSE2
  // Each block goes out in one store, which whatever reads the bytes next can
  // take whole.
  const auto decodeBlock = [&](size_t first) {
    __m128i decoded;
    if (!DecodeThirtyTwo(digits + 2 * first, decoded)) {
      return false;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + first), decoded);
    return true;
  };
  while (done + 16 <= count && decodeBlock(done)) {
    done += 16;
  }
  // Fewer than 16 left after blocks that all decoded: they end a block that
  // overlaps the ones just done.
  if (done < count && count - done < 16 && count >= 16 && decodeBlock(count - 16)) {
    return count;
  }
#endif
  // The last few, and where a block did not decode, the pair at fault.
  for (; done < count; ++done) {
    const int byte = HexByteValue(digits + 2 * done);
    if (byte < 0) {
      return done;
    }
    bytes[done] = static_cast<uint8_t>(byte);
  }
  return count;
}

size_t DecodeSpacedPairs(std::string_view text, uint8_t* bytes) {
  if ((text.size() + 1) % 3 != 0) {
    return kNotSpacedPairs;
  }
  const size_t count = (text.size() + 1) / 3;
  size_t done = 0;
#ifdef BFX_HEX_DIGITS_SSE2
  // Sixteen pairs and the space after them at a time.
  for (__m128i decoded; done + 16 <= count; done += 16) {
    if (!DecodeSixteenSpacedPairs(&text[3 * done], decoded) ||
        (done + 16 < count && text[3 * done + 47] != ' ')) {
      return kNotSpacedPairs;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + done), decoded);
  }
#endif
  for (; done < count; ++done) {
    const int byte = HexByteValue(&text[3 * done]);
    if (byte < 0 || (done + 1 < count && text[3 * done + 2] != ' ')) {
      return kNotSpacedPairs;
    }
    bytes[done] = static_cast<uint8_t>(byte);
  }
  return count;
}

size_t DecodeHexWordsHighFirst(const char* digits, size_t count, uint16_t* words,
                               uint32_t& byteSum) {
  // Summed apart from `byteSum`, which the stores into `words` might alias.
  uint32_t sum = 0;
  size_t done = 0;
#ifdef BFX_HEX_DIGITS_SSE2
  // Each byte's value summed in two 64-bit lanes, which no program can fill.
  __m128i sums = _mm_setzero_si128();
  for (__m128i bytes; done + 8 <= count && DecodeThirtyTwo(digits + 4 * done, bytes); done += 8) {
    sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    const __m128i highFirst = _mm_or_si128(_mm_slli_epi16(bytes, 8), _mm_srli_epi16(bytes, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words + done), highFirst);
  }
  sum = static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
#endif
  for (; done < count; ++done) {
    const int high = HexByteValue(digits + 4 * done);
    const int low = HexByteValue(digits + 4 * done + 2);
    if (high < 0 || low < 0) {
      break;
    }
    words[done] = static_cast<uint16_t>(high << 8 | low);
    sum += static_cast<uint32_t>(high + low);
  }
  byteSum += sum;
  return done;
}
