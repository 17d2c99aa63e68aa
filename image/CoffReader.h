// Reads a TI COFF executable for the C28x CPU (versions 0, 1 and 2) into the
// program image: the loadable sections, their words and their classification.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string_view>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"

// Reads `path` for the device `mcuType`. Outcomes found before the section
// headers are read (OpenFailed, NotCoff, TargetMismatch and FileError for the
// string table) leave the image untouched; every later failure leaves it empty.
ProgramReadResult ReadCoffFile(const std::filesystem::path& path, McuType mcuType,
                               ProgramImage& image);

// The same over an open stream, for callers that already hold the bytes.
ProgramReadResult ReadCoffStream(std::istream& in, McuType mcuType, ProgramImage& image);
