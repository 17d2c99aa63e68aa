// Reads TI-TXT as TI's hex utility writes it for the C28x: "@ADDR" lines with
// byte addresses (word address × 2), lines of hexadecimal byte pairs, each
// word low byte first, and "q" at the end.
#pragma once

#include <cstdint>
#include <istream>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"

// The image must be cleared; a failure may leave part of the file in it.
ProgramRead ReadTiTxtStream(std::istream& in, McuType mcuType, ProgramImage& image);
