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

uint64_t CoveredWords::Block(uint32_t block) const {
  const Page* page = pages_[block / kPageBlocks].get();
  return page == nullptr ? 0 : (*page)[block % kPageBlocks];
}

uint64_t& CoveredWords::BlockToMark(uint32_t block) {
  std::unique_ptr<Page>& page = pages_[block / kPageBlocks];
  if (page == nullptr) {
    page = std::make_unique<Page>();
  }
  return (*page)[block % kPageBlocks];
}

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
    if (pages_[block / kPageBlocks] == nullptr) {
      block = (block / kPageBlocks + 1) * kPageBlocks - 1;  // nothing marked up to the next page
    } else if (const uint64_t taken = Block(block) & maskOf(block); taken != 0) {
      return block * 64 + static_cast<uint32_t>(std::countr_zero(taken));
    }
  }
  BlockToMark(firstBlock) |= maskOf(firstBlock);
  BlockToMark(lastBlock) |= maskOf(lastBlock);
  for (uint32_t block = firstBlock + 1; block < lastBlock; ++block) {
    BlockToMark(block) = ~uint64_t{0};
  }
  return std::nullopt;
}

void CoveredWords::ForEachRun(
    const std::function<void(uint32_t first, uint32_t count)>& run) const {
  static_assert(kAddressWords == kC28xAddressWords);
  const uint32_t end = kAddressWords;
  uint32_t at = 0;
  while (at < end) {
    // Skip to the next marked word, a page at a time where none was made,
    // then to the next unmarked one.
    const uint64_t marked = Block(at / 64) >> (at % 64);
    if (marked == 0) {
      const uint32_t skip = pages_[at / kPageWords] == nullptr ? kPageWords : 64;
      at = (at / skip + 1) * skip;
      continue;
    }
    const uint32_t first = at + static_cast<uint32_t>(std::countr_zero(marked));
    at = first;
    while (at < end) {
      const uint64_t unmarked = ~Block(at / 64) >> (at % 64);
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
