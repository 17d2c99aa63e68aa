// Which words of the C28x's address space a program has given so far: one bit
// per word, so that a word given twice is found at once and the contiguous
// runs come out in address order. The bits live in pages made as words in
// them are first given, so a small program costs a page or two, not the
// 512 KiB that the whole address space takes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CoveredWords {
 public:
  // Marks [first, first + count), which must lie below kC28xAddressWords.
  // When some of it is marked already, marks nothing and returns the lowest
  // such address.
  std::optional<uint32_t> Claim(uint32_t first, uint32_t count);
  // Calls `run(first, count)` for each maximal run of marked words, lowest first.
  void ForEachRun(const std::function<void(uint32_t first, uint32_t count)>& run) const;

 private:
  // The C28x's address space, kC28xAddressWords.
  static constexpr uint32_t kAddressWords = uint32_t{1} << 22;
  // A page holds the bits of 32 Ki words, in blocks of 64.
  static constexpr uint32_t kPageBlocks = 512;
  static constexpr uint32_t kPageWords = 64 * kPageBlocks;
  using Page = std::array<uint64_t, kPageBlocks>;

  // The bits of block `block` (words 64 × block on); 0 in a page not made.
  uint64_t Block(uint32_t block) const;
  // The same, to be marked: its page is made when missing.
  uint64_t& BlockToMark(uint32_t block);

  std::array<std::unique_ptr<Page>, kAddressWords / kPageWords> pages_;
};
