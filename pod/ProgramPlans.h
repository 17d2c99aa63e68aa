// The order in which a program's words go to the POD, worked out before any of
// them is sent: the chunks of a flash write and the page runs of a POD store.
// Pure functions of the image; the procedures only carry them out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/ProgramImage.h"

// Consecutive words of one section and the target address of the first.
struct WordRun {
  uint32_t address;
  std::span<const uint16_t> words;
};

// The section's words in runs of at most `maxWords`; none for a section without words.
std::vector<WordRun> SplitSection(const ImageSection& section, uint32_t maxWords);

// A flash write programs this many words per command.
inline constexpr uint32_t kFlashChunkWords = 40;

// The flash sections' words in list order, in chunks of at most kFlashChunkWords.
std::vector<WordRun> ChunkPlan(const ProgramImage& image);

// A page of the POD's serial flash: 132 words.
inline constexpr uint16_t kPodPageBytes = 264;

// The record the POD keeps of a stored section (the V frame's fields).
struct SectionRecord {
  uint8_t ordinal;
  uint32_t address;
  uint32_t wordCount;
  uint32_t dataOffset;  // byte offset within the packed flash data

  bool operator==(const SectionRecord&) const = default;
};

// Words of one stored section that go into one page.
struct PageRun {
  // The section's record, on the section's first run only.
  std::optional<SectionRecord> record;
  uint16_t page;
  std::span<const uint16_t> words;
  // When the run completes its page: the page's byte count; otherwise 0.
  uint16_t pageBytes;
};

// The stored sections (the flash sections that hold words, in list order) as
// one stream of words cut into pages: a page may run on into the next section,
// and only the stream's last word ends a short page. None when the program is
// more than the POD holds (kPodMaxSections sections, kPodMaxBytes bytes).
std::optional<std::vector<PageRun>> PagePlan(const ProgramImage& image);
