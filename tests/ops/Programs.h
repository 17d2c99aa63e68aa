// COFF programs the operation tests load, and a scratch folder to put them in
// under the file names a test needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/CoffWriter.h"
#include "tests/support/ScratchDir.h"

// Words 0x1000 + seed, 0x1001 + seed, ...: every section distinct.
std::vector<uint16_t> Pattern(uint32_t count, uint16_t seed);

// An F2808 flash program: code in sector 3, constants in sector 1, the entry
// branch in sector 0 and a RAM section that Target Write leaves alone.
CoffWriter FlashProgram(uint16_t seed = 0);
// Sections only in RAM.
CoffWriter RamProgram();
// `count` one-word flash sections on an F2808.
CoffWriter ManySections(uint32_t count);
// `words` flash words on an F2809, in overlapping sections of at most the
// whole flash each.
CoffWriter FlashWords(uint32_t words);
