// Feeds arbitrary bytes to the COFF reader and checks that every read ends in
// an outcome with a consistent image, never in a crash or a stray access.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/CoffReader.h"
#include "image/ProgramImage.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void CheckImage(const ProgramImage& image) {
  Check(image.sectionCount == static_cast<int32_t>(image.sections.size()));
  Check(image.flashSectionCount + image.ramSectionCount == image.sectionCount);
  Check(image.flashBytes + image.ramBytes == image.imageBytes);
  Check(image.hasFlash == (image.flashSectionCount > 0));
  uint64_t bytes = 0;
  for (const auto& section : image.sections) {
    Check(section->wordCount > 0);
    Check(section->data == image.words() + bytes / 2);
    bytes += 2 * uint64_t{section->wordCount};
  }
  Check(bytes == image.imageBytes && bytes <= ProgramImage::kBufferBytes);
  if (image.sectionCount > 0) {
    // Touch the last word so that the sanitizer sees any overrun of the buffer.
    Check(image.words()[bytes / 2 - 1] <= 0xFFFF);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ProgramImage image;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const auto mcuType = static_cast<uint8_t>(size % 6);
  // Starting empty, every failure must leave the image empty and erased.
  image.Clear();
  const CoffReadResult result = ReadCoffStream(in, mcuType, image);
  if (result == CoffReadResult::Ok) {
    image.Summarize();
    CheckImage(image);
  } else {
    Check(image.sectionCount == 0 && image.sections.empty() && image.imageBytes == 0);
    Check(image.words()[0] == 0xFFFF);
  }
  return 0;
}
