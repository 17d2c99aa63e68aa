#include "image/HexDigits.h"

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
bool DecodeSixteen(const char* digits, __m128i& pairs) {
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
  // Each lane holds a pair, its first digit low.
  pairs = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0x00F0)),
                       _mm_srli_epi16(nibbles, 8));
  return true;
}

// The sixteen bytes that the 32 digits at `digits` spell, into `bytes` in
// one store, which whatever reads them next can take whole; false, writing
// nothing, when any digit is not a hexadecimal digit.
bool DecodeThirtyTwo(const char* digits, uint8_t* bytes) {
  __m128i front;
  __m128i back;
  if (!DecodeSixteen(digits, front) || !DecodeSixteen(digits + 16, back)) {
    return false;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(front, back));
  return true;
}
#endif

}  // namespace

size_t DecodeHexBytes(const char* digits, size_t count, uint8_t* bytes) {
  size_t done = 0;
#ifdef BFX_HEX_DIGITS_SSE2
  while (done + 16 <= count && DecodeThirtyTwo(digits + 2 * done, bytes + done)) {
    done += 16;
  }
  // Fewer than 16 left after blocks that all decoded: they end a block that
  // overlaps the ones just done.
  if (done < count && count - done < 16 && count >= 16 &&
      DecodeThirtyTwo(digits + 2 * (count - 16), bytes + count - 16)) {
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
