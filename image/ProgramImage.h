// The one loaded program: its sections in file order, the word buffer that
// holds their contents back to back, and the flash/RAM totals counted from them.
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
  // sections the builder's Finish turns it into the place within the packed
  // flash data, which a POD store keeps.
  uint32_t offset = 0;
  const uint16_t* data = nullptr;  // first word, inside the image buffer
  bool inFlash = false;
  uint16_t sectorMask = 0;  // flash sectors touched, bit n for sector n
  // Words the file promised but ended before: they stay erased (0xFFFF).
  uint32_t wordsMissing = 0;
};

class ProgramImage {
 public:
  // The most words the buffer holds: as many as the C28x addresses.
  static constexpr uint32_t kBufferWords = 4'194'304;
  static constexpr uint32_t kBufferBytes = 2 * kBufferWords;

  // Starts empty, holding no words: the buffer grows with the sections, so an
  // image costs what its program holds.
  ProgramImage() = default;
  ProgramImage(const ProgramImage&) = delete;
  ProgramImage& operator=(const ProgramImage&) = delete;

  std::vector<std::unique_ptr<ImageSection>> sections;

  // Totals counted from `sections` whenever asked, so that none can fall
  // behind a section added or changed.
  int32_t sectionCount() const { return static_cast<int32_t>(sections.size()); }
  uint32_t imageBytes() const;
  bool hasFlash() const { return flashListEnd() > 0; }
  uint16_t flashSectorMask() const;
  uint16_t flashSectionCount() const;
  // 1-based position of the last flash section in `sections`; 0 when none.
  int32_t flashListEnd() const;
  uint32_t flashBytes() const;
  uint16_t ramSectionCount() const {
    return static_cast<uint16_t>(sectionCount() - flashSectionCount());
  }
  uint32_t ramBytes() const { return imageBytes() - flashBytes(); }

  // Text of the last allocation failure of NewSection, for the caller to show.
  std::string allocationError;

  // Drops every section and the buffer with every word in it.
  void Clear();
  // A fresh section, or null when it cannot be allocated (see allocationError).
  std::unique_ptr<ImageSection> NewSection();
  // Appends at the tail of `sections`.
  void AppendSection(std::unique_ptr<ImageSection> section);

  // The words handed out for writing since the last Clear: [0, heldWords()).
  const uint16_t* words() const { return words_.get(); }
  uint32_t heldWords() const { return heldWords_; }
  // Makes room for `count` words in all (at most kBufferWords), so that a
  // reader that knows its size up front fills one buffer and moves nothing.
  void Reserve(uint64_t count);
  // The `wordCount` words starting at byte offset `byteOffset`, to be filled;
  // null when they do not fit inside kBufferWords. Words handed out for the
  // first time read 0xFFFF, the erased state of flash. The buffer may move
  // to grow; the sections' data move with it. Throws std::bad_alloc when it
  // cannot grow. Inline: the text readers ask for a few words per record,
  // millions of times per file.
  uint16_t* WordsForWriting(uint32_t byteOffset, uint32_t wordCount) {
    const uint64_t firstWord = byteOffset / 2;
    const uint64_t endWord = firstWord + wordCount;
    if (byteOffset % 2 != 0 || endWord > kBufferWords) {
      return nullptr;
    }
    if (endWord > capacity_) {
      Grow(static_cast<uint32_t>(endWord));
    }
    heldWords_ = std::max(heldWords_, static_cast<uint32_t>(endWord));
    return words_.get() + firstWord;
  }

 private:
  // Room for at least `endWord` words, with as much again for what follows.
  void Grow(uint32_t endWord);
  // Moves the held words into a buffer of `capacity` words.
  void Reallocate(uint32_t capacity);

  std::unique_ptr<uint16_t[]> words_;
  // Words [heldWords_, capacity_) were never handed out and read 0xFFFF.
  uint32_t capacity_ = 0;
  uint32_t heldWords_ = 0;
};

// A copy of `image` with words of its own, which the caller may change without
// touching the original: what a write that numbers each target programs.
// Throws std::bad_alloc when the words cannot be copied.
std::unique_ptr<ProgramImage> CopyOf(const ProgramImage& image);

// The image of no program, one for the whole process: whatever has read no
// file shares it rather than holding an image of its own.
std::shared_ptr<const ProgramImage> NoProgramImage();
