// Reads Intel HEX as TI's hex utility writes it for the C28x (16-bit memory
// and ROM width): record and extended addresses count words, and each word is
// stored high byte first.
#pragma once

#include <cstdint>
#include <istream>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"

// The image must be cleared; a failure may leave part of the file in it.
ProgramRead ReadIntelHexStream(std::istream& in, McuType mcuType, ProgramImage& image);
