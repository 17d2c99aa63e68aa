// Reads a TI COFF executable for the C28x CPU (versions 0, 1 and 2) into the
// program image: the loadable sections, their words and their classification.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
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
  // Outcomes of the other formats the program reads (ProgramReader.h).
  BadRecord = 7,  // a text line that is no valid record: characters, length, checksum,
                  // record type, data before an address, no end record
  BadLayout = 8,  // words given twice, a word given by half, or an address
                  // beyond the C28x's 22-bit space
  Truncated = 9,  // a segment runs past the end of the file
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
    {CoffReadResult::NotCoff, "NotCoff", "no program format known, or its headers lie outside the file", "The specified file is not COFF format"},
    {CoffReadResult::TargetMismatch, "TargetMismatch", "built for another CPU than the C28x", "The specified file is not match with MCU"},
    {CoffReadResult::FileError, "FileError", "the file points at positions of 2 GiB or more", "File exception error happens"},
    {CoffReadResult::OutOfMemory, "OutOfMemory", "", "Memory exception error happens"},
    {CoffReadResult::ImageTooLarge, "ImageTooLarge", kTextWithNumber<"the sections exceed the ", ProgramImage::kBufferBytes / (1024 * 1024), " MiB program image">, kTextWithNumber<"The sections of the COFF file are larger than the ", ProgramImage::kBufferBytes / (1024 * 1024), " MiB program image">},
    {CoffReadResult::BadRecord, "BadRecord", "a HEX or TI-TXT line is no valid record; the message names it", "The file holds a line that is not a valid record"},
    {CoffReadResult::BadLayout, "BadLayout", "a word given twice or by half, or beyond the 22-bit memory", "The program's data cannot be placed in the C28x's memory"},
    {CoffReadResult::Truncated, "Truncated", "an ELF segment runs past the end of the file", "The file ends before the data it announces"},
};
// clang-format on
static_assert(OutcomesAreDistinct(kCoffReadOutcomes));

// Opens `path` as raw bytes for any reader: OpenFailed for anything but a
// readable regular file, OutOfMemory (see allocationError) when opening
// cannot allocate.
CoffReadResult OpenProgramFile(const std::filesystem::path& path, std::ifstream& in,
                               ProgramImage& image);

// "Ok", "NotCoff", ...: the outcome's name, for scripts.
constexpr std::string_view CoffReadResultName(CoffReadResult result) {
  return FindOutcomeRow(kCoffReadOutcomes, result).name;
}
// The sentence the user sees for the outcome.
constexpr std::string_view CoffReadResultMessage(CoffReadResult result) {
  return FindOutcomeRow(kCoffReadOutcomes, result).message;
}
