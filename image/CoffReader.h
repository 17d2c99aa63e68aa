// Reads a TI COFF executable for the C28x CPU (versions 0, 1 and 2) into the
// program image: the loadable sections, their words and their classification.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string_view>

class ProgramImage;

enum class CoffReadResult : uint8_t {
  Ok = 0,
  OpenFailed = 1,      // the file cannot be opened for reading
  NotCoff = 2,         // too short, unknown magic, or a header, the section headers
                       // or the string table not inside the file
  TargetMismatch = 3,  // version 1 or 2 file built for another CPU family
  FileError = 4,       // a position the file gives is not one the file layer can
                       // seek to (2^31 or more): string table, a long name, raw data
  OutOfMemory = 5,     // a section could not be allocated; see allocationError
  ImageTooLarge = 6,   // the accepted sections do not fit the image buffer
};

// Reads `path` for the device `mcuType`. Outcomes found before the section
// headers are read (OpenFailed, NotCoff, TargetMismatch and FileError for the
// string table) leave the image untouched; every later failure leaves it empty.
// Ok does not summarize: the caller runs ProgramImage::Summarize.
CoffReadResult ReadCoffFile(const std::filesystem::path& path, uint8_t mcuType,
                            ProgramImage& image);

// The same over an open stream, for callers that already hold the bytes.
CoffReadResult ReadCoffStream(std::istream& in, uint8_t mcuType, ProgramImage& image);

// "Ok", "NotCoff", ...: the outcome's name, for scripts.
std::string_view CoffReadResultName(CoffReadResult result);
// The sentence the user sees for the outcome.
std::string_view CoffReadResultMessage(CoffReadResult result);
