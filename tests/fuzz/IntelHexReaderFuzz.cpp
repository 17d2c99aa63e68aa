// Feeds arbitrary bytes to the Intel HEX reader (checks in FuzzChecks.h).
#include "image/IntelHexReader.h"
#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzFormatReader(data, size, ReadIntelHexStream);
}
