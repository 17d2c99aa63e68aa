#include "image/CoveredWords.h"

#include <algorithm>
#include <bit>

#include "image/ImageBuilder.h"

namespace {

// The bits of one 64-bit block that [first, end) touches, from the block
// holding `first`; `first` moves on to the next block.
uint64_t NextMask(uint32_t& first, uint32_t end) {
  const uint32_t bit = first % 64;
  const uint32_t count = std::min<uint32_t>(64 - bit, end - first);
  first += count;
  const uint64_t ones = count == 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
  return ones << bit;
}

}  // namespace

CoveredWords::CoveredWords() : bits_(kC28xAddressWords / 64) {}

std::optional<uint32_t> CoveredWords::Claim(uint32_t first, uint32_t count) {
  const uint32_t end = first + count;
  for (uint32_t at = first; at < end;) {
    const uint32_t block = at / 64;
    if (const uint64_t taken = bits_[block] & NextMask(at, end); taken != 0) {
      return block * 64 + static_cast<uint32_t>(std::countr_zero(taken));
    }
  }
  for (uint32_t at = first; at < end;) {
    const uint32_t block = at / 64;
    bits_[block] |= NextMask(at, end);
  }
  return std::nullopt;
}

void CoveredWords::ForEachRun(
    const std::function<void(uint32_t first, uint32_t count)>& run) const {
  const uint32_t end = static_cast<uint32_t>(bits_.size() * 64);
  uint32_t at = 0;
  while (at < end) {
    // Skip to the next marked word, then to the next unmarked one.
    const uint64_t marked = bits_[at / 64] >> (at % 64);
    if (marked == 0) {
      at = (at / 64 + 1) * 64;
      continue;
    }
    const uint32_t first = at + static_cast<uint32_t>(std::countr_zero(marked));
    at = first;
    while (at < end) {
      const uint64_t unmarked = ~bits_[at / 64] >> (at % 64);
      const uint32_t ones = static_cast<uint32_t>(std::countr_zero(unmarked));
      // The zeros shifted in above the block's top bit read as marked, so a
      // count reaching them means the rest of the block is marked.
      const uint32_t left = 64 - at % 64;
      if (ones < left) {
        at += ones;
        break;
      }
      at += left;
    }
    run(first, at - first);
  }
}
