// The unique number each target of a write gets: where in the program it
// goes, the program with it written in, and the counter file that hands the
// numbers out so that none is given twice, across runs, processes and crashes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/ProgramImage.h"

struct SerialNumbering {
  // The word address of the number; with two words, of its low word.
  uint32_t address = 0;
  // 1 or 2 words; two hold a 32-bit number, the low word first, as the C28x
  // keeps one.
  uint32_t width = 1;
  uint64_t start = 0;
  uint64_t step = 1;
  // The counter file (UTF-8); empty: the numbers start at `start` for this
  // run alone.
  std::string counterPath;
};

// The largest number `width` words hold.
uint64_t LargestSerialNumber(uint32_t width);

// Why the number cannot go at `numbering.address` in `image`: empty when all
// its words lie in one flash section of the file.
std::string SerialPlaceProblem(const ProgramImage& image, const SerialNumbering& numbering);

// A copy of `image` with `number` in the words at `numbering.address`, which
// SerialPlaceProblem accepted.
std::shared_ptr<const ProgramImage> WithSerialNumber(const ProgramImage& image,
                                                     const SerialNumbering& numbering,
                                                     uint64_t number);

// `count` (at least one) numbers, `numbering.step` apart, for the targets of one run. With a
// counter file they start at the number it holds (at `numbering.start` when
// that is further on, or when the file is missing), and the file is locked and
// replaced with the number after them before they are handed out: a number is
// never given twice, though one whose target was never written is skipped.
// Empty, with `error` saying why, when the file cannot be read or replaced or
// a number would not fit in `numbering.width` words.
std::vector<uint64_t> TakeSerialNumbers(const SerialNumbering& numbering, size_t count,
                                        std::string& error);
