// Opens a program file for the readers: raw bytes, unbuffered.
#pragma once

#include <filesystem>
#include <fstream>

#include "image/ProgramReadResult.h"

class ProgramImage;

// Opens `path` as raw bytes for any reader: OpenFailed for anything but a
// readable regular file, OutOfMemory (see allocationError) when opening
// cannot allocate.
ProgramReadResult OpenProgramFile(const std::filesystem::path& path, std::ifstream& in,
                                  ProgramImage& image);
