// Feeds arbitrary bytes to the COFF reader and checks that every read ends in
// an outcome with a consistent image, never in a crash or a stray access.
#include <cstdint>
#include <sstream>
#include <string>

#include "image/CoffReader.h"
#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ProgramImage image;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const McuType mcuType = McuType::Nearest(static_cast<int>(size % kMcuTypeCount));
  // Starting empty, every failure must leave the image empty, holding no words.
  image.Clear();
  const ProgramReadResult result = ReadCoffStream(in, mcuType, image);
  if (result == ProgramReadResult::Ok) {
    image.Summarize();
    CheckImage(image);
  } else {
    Check(image.sectionCount == 0 && image.sections.empty() && image.imageBytes == 0);
    Check(image.heldWords() == 0);
  }
  return 0;
}
