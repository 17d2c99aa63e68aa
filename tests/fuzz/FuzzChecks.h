// What every fuzz target checks of an image that a reader accepted.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "image/ImageBuilder.h"
#include "image/ProgramImage.h"
#include "image/ProgramReader.h"

inline void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Totals and buffer layout after a successful read.
inline void CheckImage(const ProgramImage& image) {
  Check(image.sectionCount() == static_cast<int32_t>(image.sections.size()));
  Check(image.flashSectionCount() + image.ramSectionCount() == image.sectionCount());
  Check(image.flashBytes() + image.ramBytes() == image.imageBytes());
  Check(image.hasFlash() == (image.flashSectionCount() > 0));
  uint64_t bytes = 0;
  for (const auto& section : image.sections) {
    Check(section->wordCount > 0);
    Check(section->data == image.words() + bytes / 2);
    bytes += 2 * uint64_t{section->wordCount};
  }
  Check(bytes == image.imageBytes() && bytes <= ProgramImage::kBufferBytes);
  Check(image.heldWords() == bytes / 2);
  if (image.sectionCount() > 0) {
    // Touch the last word so that the sanitizer sees any overrun of the buffer.
    Check(image.words()[bytes / 2 - 1] <= 0xFFFF);
  }
}

// The formats that refuse a word given twice: sections lie apart, inside the
// C28x's memory.
inline void CheckSectionsApart(const ProgramImage& image) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (const auto& section : image.sections) {
    ranges.emplace_back(section->address, uint64_t{section->address} + section->wordCount);
    Check(ranges.back().second <= kC28xAddressWords);
  }
  std::ranges::sort(ranges);
  for (size_t i = 1; i < ranges.size(); ++i) {
    Check(ranges[i - 1].second <= ranges[i].first);
  }
}

using FormatReader = ProgramRead (*)(std::istream& in, McuType mcuType, ProgramImage& image);

// One run of a reader of the formats beyond COFF: every read ends in an
// outcome, an accepted image is consistent with its words placed apart, and
// hostile input never makes the reader run out of memory.
inline int FuzzFormatReader(const uint8_t* data, size_t size, FormatReader read) {
  // Fresh each run, as in the COFF reader's fuzzer.
  ProgramImage image;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const McuType mcuType = McuType::Nearest(static_cast<int>(size % kMcuTypeCount));
  const ProgramRead outcome = read(in, mcuType, image);
  if (outcome.result == ProgramReadResult::Ok) {
    Check(outcome.detail.empty());
    CheckImage(image);
    CheckSectionsApart(image);
  } else {
    Check(outcome.result != ProgramReadResult::OutOfMemory);
  }
  return 0;
}
