// Reads a TI ELF (EABI) executable for the C28x into the program image: the
// loadable segments with file data, each at its load address, named after
// the sections it holds.
#pragma once

#include <cstdint>
#include <istream>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"

// Addresses in the file count 16-bit words, sizes count bytes. Flash builds
// that copy code to RAM at run time give that code's RAM address in its
// section header; only the program header gives where it is stored, so the
// program headers alone decide where words go.
// The image must be cleared; a failure may leave part of the file in it.
ProgramRead ReadElfStream(std::istream& in, McuType mcuType, ProgramImage& image);
