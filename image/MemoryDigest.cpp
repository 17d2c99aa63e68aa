#include "image/MemoryDigest.h"

#include <algorithm>
#include <array>
#include <vector>

#include "image/ProgramImage.h"
#include "image/Sha256.h"

namespace {

constexpr size_t kBytesPerWord = 6;

// The sections a write sends, lowest address first.
std::vector<const ImageSection*> SentSections(const ProgramImage& image) {
  std::vector<const ImageSection*> sent;
  // A program with flash sections leaves the others out; one without goes
  // into RAM whole.
  const bool hasFlash = image.hasFlash();
  for (const auto& section : image.sections) {
    if (section->inFlash == hasFlash) {
      sent.push_back(section.get());
    }
  }
  std::ranges::stable_sort(sent, {}, &ImageSection::address);
  return sent;
}

}  // namespace

std::string MemoryDigest(const ProgramImage& image) {
  Sha256 hash;
  std::array<uint8_t, 4096 / kBytesPerWord * kBytesPerWord> bytes;
  size_t held = 0;
  for (const ImageSection* section : SentSections(image)) {
    for (uint32_t i = 0; i < section->wordCount; ++i) {
      const uint32_t address = section->address + i;
      const uint16_t word = section->data[i];
      uint8_t* at = bytes.data() + held;
      at[0] = static_cast<uint8_t>(address);
      at[1] = static_cast<uint8_t>(address >> 8);
      at[2] = static_cast<uint8_t>(address >> 16);
      at[3] = static_cast<uint8_t>(address >> 24);
      at[4] = static_cast<uint8_t>(word);
      at[5] = static_cast<uint8_t>(word >> 8);
      held += kBytesPerWord;
      if (held == bytes.size()) {
        hash.Update(bytes.data(), held);
        held = 0;
      }
    }
  }
  hash.Update(bytes.data(), held);
  return HexDigest(hash.Final());
}
