// The one loaded program: its sections in file order, the word buffer that
// holds their contents back to back, and the flash/RAM totals built from them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One section accepted from a COFF file.
struct ImageSection {
  std::string name;
  uint32_t wordCount = 0;
  uint32_t address = 0;  // word address of the first word
  // Byte offset: the section's place in the image buffer as read; for flash
  // sections Summarize turns it into the place within the packed flash data.
  uint32_t offset = 0;
  const uint16_t* data = nullptr;  // first word, inside the image buffer
  bool inFlash = false;
  uint16_t sectorMask = 0;  // flash sectors touched, bit n for sector n
  // Words the file promised but ended before: they stay erased (0xFFFF).
  uint32_t wordsMissing = 0;
};

class ProgramImage {
 public:
  static constexpr uint32_t kBufferWords = 4'194'304;
  static constexpr uint32_t kBufferBytes = 2 * kBufferWords;

  // Allocates the buffer and starts empty, every word 0xFFFF.
  ProgramImage();
  ProgramImage(const ProgramImage&) = delete;
  ProgramImage& operator=(const ProgramImage&) = delete;

  std::vector<std::unique_ptr<ImageSection>> sections;
  int32_t sectionCount = 0;
  uint32_t imageBytes = 0;
  bool hasFlash = false;
  uint16_t flashSectorMask = 0;
  uint16_t flashSectionCount = 0;
  // 1-based position of the last flash section in `sections`; 0 when none.
  int32_t flashListEnd = 0;
  uint32_t flashBytes = 0;
  uint16_t ramSectionCount = 0;
  uint32_t ramBytes = 0;

  // Text of the last allocation failure of NewSection, for the caller to show.
  std::string allocationError;

  // Drops every section and total; every word of the buffer reads 0xFFFF again.
  void Clear();
  void ResetTotals();
  // A fresh section, or null when it cannot be allocated (see allocationError).
  std::unique_ptr<ImageSection> NewSection();
  // Appends at the tail of `sections` and counts it.
  void AppendSection(std::unique_ptr<ImageSection> section);
  // Computes the flash and RAM totals and the flash sections' packed offsets.
  void Summarize();

  const uint16_t* words() const { return words_.get(); }
  // The `wordCount` words starting at byte offset `byteOffset`, to be filled;
  // null when they do not fit inside the buffer. Inline: the text readers
  // ask for a few words per record, millions of times per file.
  uint16_t* WordsForWriting(uint32_t byteOffset, uint32_t wordCount) {
    const uint64_t firstWord = byteOffset / 2;
    const uint64_t endWord = firstWord + wordCount;
    if (byteOffset % 2 != 0 || endWord > kBufferWords) {
      return nullptr;
    }
    dirtyWords_ = std::max(dirtyWords_, static_cast<uint32_t>(endWord));
    return words_.get() + firstWord;
  }

 private:
  std::unique_ptr<uint16_t[]> words_;
  // Words [0, dirtyWords_) may differ from 0xFFFF; the rest never changed
  // since the last Clear, so Clear refills only this part.
  uint32_t dirtyWords_ = kBufferWords;
};
