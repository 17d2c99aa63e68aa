// Feeds arbitrary bytes to the TI ELF reader (checks in FuzzChecks.h).
#include "image/ElfReader.h"
#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzFormatReader(data, size, ReadElfStream);
}
