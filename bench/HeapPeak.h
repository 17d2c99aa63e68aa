// The most heap memory a benchmark held at once: this program's operator new
// counts every byte, so a reader that copied its file would show at once.
#pragma once

#include <cstddef>

namespace heap_peak {

// Starts a new measurement from what is held now.
void Reset();
// The most held at once since Reset, beyond what was held at Reset.
size_t BytesSinceReset();

}  // namespace heap_peak
