#include "image/HexDigits.h"

// x86-64 always has SSE2, whatever the compiler; elsewhere the digits decode
// pair by pair.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BFX_HEX_DIGITS_SSE2 1
#endif

namespace {

#ifdef BFX_HEX_DIGITS_SSE2
// The eight bytes that the sixteen digits at `digits` spell, into `bytes`;
// false, writing nothing, when any of the sixteen is not a hexadecimal digit.
bool DecodeSixteen(const char* digits, uint8_t* bytes) {
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits));
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
  // Each 16-bit lane holds a pair, its first digit low: make it one byte.
  const __m128i pairs =
      _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0x00F0)),
                   _mm_srli_epi16(nibbles, 8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(pairs, pairs));
  return true;
}
#endif

}  // namespace

size_t DecodeHexBytes(const char* digits, size_t count, uint8_t* bytes) {
  size_t done = 0;
#ifdef BFX_HEX_DIGITS_SSE2
  while (done + 8 <= count && DecodeSixteen(digits + 2 * done, bytes + done)) {
    done += 8;
  }
#endif
  // The last few, and where sixteen did not decode, the pair at fault.
  for (; done < count; ++done) {
    const int byte = HexByteValue(digits + 2 * done);
    if (byte < 0) {
      return done;
    }
    bytes[done] = static_cast<uint8_t>(byte);
  }
  return count;
}
