// The one path by which every reader adds a section to the image: sections
// back to back in the buffer, the buffer's limit, the names never programmed
// and the classification against the device hold alike for every format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "image/ProgramReadResult.h"

// The C28x addresses 2^22 words; nothing of a program lies at or beyond this.
inline constexpr uint32_t kC28xAddressWords = 0x400000;

// Sections whose contents are never programmed whatever they hold: the stack,
// the CSM password (the keys come from the user, never from the file) and
// debugging information.
bool IsNeverProgrammed(std::string_view sectionName);

// "0x3F4000": the name of a block that a format gives by its address only.
std::string AddressName(uint32_t address);

class ImageBuilder {
 public:
  // The image must be cleared. `expectedWords`: how many words the reader
  // expects the sections to hold in all, as far as the file tells; the image
  // makes room for them at once, so that its buffer need not move as it fills.
  ImageBuilder(ProgramImage& image, McuType mcuType, uint64_t expectedWords = 0);

  // Starts a section of no words at the tail of the image; OutOfMemory when it
  // cannot be allocated (the image's allocationError says why).
  ProgramReadResult Open(std::string name, uint32_t address);
  // `count` more words at the end of the last section, to be filled (they
  // read 0xFFFF until then); null when they would run past the buffer.
  uint16_t* Grow(uint32_t count) {
    uint16_t* words = image_.WordsForWriting(usedBytes_, count);
    if (words != nullptr) {
      image_.sections.back()->wordCount += count;
      usedBytes_ += 2 * count;
    }
    return words;
  }
  // Clears the image to lay it out anew, with the same room made.
  void Restart();
  // Classifies every section for the device and packs the flash sections'
  // offsets, leaving the image whole.
  void Finish();

 private:
  ProgramImage& image_;
  McuType mcuType_;
  uint64_t expectedWords_;
  uint32_t usedBytes_ = 0;
};
