// Feeds arbitrary bytes to the COFF reader and checks that every read ends in
// an outcome with a consistent image, never in a crash or a stray access.
#include <cstdint>
#include <sstream>
#include <string>

#include "image/CoffReader.h"
#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh image each run: one kept from the last run would hold its words
  // past the run's end, and libFuzzer would run the input a second time to
  // look for a leak.
  ProgramImage image;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const McuType mcuType = McuType::Nearest(static_cast<int>(size % kMcuTypeCount));
  // Every failure must leave the image empty, holding no words.
  const ProgramReadResult result = ReadCoffStream(in, mcuType, image);
  if (result == ProgramReadResult::Ok) {
    CheckImage(image);
  } else {
    Check(image.sectionCount() == 0 && image.sections.empty() && image.imageBytes() == 0);
    Check(image.heldWords() == 0);
  }
  return 0;
}
