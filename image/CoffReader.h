// Reads a TI COFF executable for the C28x CPU (versions 0, 1 and 2) into the
// program image: the loadable sections, their words and their classification.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string_view>

#include "image/OutcomeTable.h"
#include "image/ProgramImage.h"
#include "image/TextWithNumber.h"

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

// One outcome a line, so adding an outcome is adding a line.
// clang-format off
inline constexpr OutcomeRow<CoffReadResult> kCoffReadOutcomes[] = {
    {CoffReadResult::Ok, "Ok", "the file was read", "Reading COFF file is successful"},
    {CoffReadResult::OpenFailed, "OpenFailed", "the file cannot be opened", "Fail to open specified file"},
    {CoffReadResult::NotCoff, "NotCoff", "not a COFF file, or its headers lie outside the file", "The specified file is not COFF format"},
    {CoffReadResult::TargetMismatch, "TargetMismatch", "built for another CPU than the C28x", "The specified file is not match with MCU"},
    {CoffReadResult::FileError, "FileError", "the file points at positions of 2 GiB or more", "File exception error happens"},
    {CoffReadResult::OutOfMemory, "OutOfMemory", "", "Memory exception error happens"},
    {CoffReadResult::ImageTooLarge, "ImageTooLarge", kTextWithNumber<"the sections exceed the ", ProgramImage::kBufferBytes / (1024 * 1024), " MiB program image">, kTextWithNumber<"The sections of the COFF file are larger than the ", ProgramImage::kBufferBytes / (1024 * 1024), " MiB program image">},
};
// clang-format on
static_assert(OutcomesAreDistinct(kCoffReadOutcomes));

// "Ok", "NotCoff", ...: the outcome's name, for scripts.
constexpr std::string_view CoffReadResultName(CoffReadResult result) {
  return FindOutcomeRow(kCoffReadOutcomes, result).name;
}
// The sentence the user sees for the outcome.
constexpr std::string_view CoffReadResultMessage(CoffReadResult result) {
  return FindOutcomeRow(kCoffReadOutcomes, result).message;
}
