// Which words of the C28x's address space a program has given so far: one bit
// per word (512 KiB whatever the file), so that a word given twice is found
// at once and the contiguous runs come out in address order.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class CoveredWords {
 public:
  CoveredWords();

  // Marks [first, first + count), which must lie below kC28xAddressWords.
  // When some of it is marked already, marks nothing and returns the lowest
  // such address.
  std::optional<uint32_t> Claim(uint32_t first, uint32_t count);
  // Calls `run(first, count)` for each maximal run of marked words, lowest first.
  void ForEachRun(const std::function<void(uint32_t first, uint32_t count)>& run) const;

 private:
  std::vector<uint64_t> bits_;
};
