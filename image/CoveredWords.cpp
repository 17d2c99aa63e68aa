#include "image/CoveredWords.h"

#include <algorithm>
#include <bit>

#include "image/ImageBuilder.h"

namespace {

// The bits of [first, end) within the block that starts at word `blockFirst`.
uint64_t BlockMask(uint32_t blockFirst, uint32_t first, uint32_t end) {
  const uint32_t from = std::max(first, blockFirst) - blockFirst;
  const uint32_t to = std::min(end, blockFirst + 64) - blockFirst;
  const uint64_t upTo = to == 64 ? ~uint64_t{0} : (uint64_t{1} << to) - 1;
  return upTo & ~((uint64_t{1} << from) - 1);
}

}  // namespace

CoveredWords::CoveredWords() : bits_(kC28xAddressWords / 64) {}

std::optional<uint32_t> CoveredWords::Claim(uint32_t first, uint32_t count) {
  if (count == 0) {
    return std::nullopt;
  }
  const uint32_t end = first + count;
  const uint32_t firstBlock = first / 64;
  const uint32_t lastBlock = (end - 1) / 64;
  // The blocks between the two ends are taken whole: a segment or a long run
  // of records covers thousands of them.
  const auto maskOf = [&](uint32_t block) {
    return block == firstBlock || block == lastBlock ? BlockMask(block * 64, first, end)
                                                     : ~uint64_t{0};
  };
  for (uint32_t block = firstBlock; block <= lastBlock; ++block) {
    if (const uint64_t taken = bits_[block] & maskOf(block); taken != 0) {
      return block * 64 + static_cast<uint32_t>(std::countr_zero(taken));
    }
  }
  bits_[firstBlock] |= maskOf(firstBlock);
  bits_[lastBlock] |= maskOf(lastBlock);
  if (lastBlock > firstBlock + 1) {
    std::fill(bits_.begin() + firstBlock + 1, bits_.begin() + lastBlock, ~uint64_t{0});
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
