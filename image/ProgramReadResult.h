// What reading a program file came to, whatever its format: the outcome with
// its name and sentence, the format the file was read as, and where in the
// file a failure lies. Every reader returns these, so none depends on another.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/OutcomeTable.h"
#include "image/ProgramImage.h"
#include "image/TextWithNumber.h"

enum class ProgramReadResult : uint8_t {
  Ok = 0,
  OpenFailed = 1,      // the file cannot be opened for reading
  NotCoff = 2,         // too short, unknown magic, or a header, the section headers
                       // or the string table not inside the file
  TargetMismatch = 3,  // version 1 or 2 file built for another CPU family
  FileError = 4,       // a position the file gives is not one the file layer can
                       // seek to (2^31 or more): string table, a long name, raw data
  OutOfMemory = 5,     // a section could not be allocated; see allocationError
  ImageTooLarge = 6,   // the accepted sections do not fit the image buffer
  // Outcomes of the text formats and ELF.
  BadRecord = 7,  // a text line that is no valid record: characters, length, checksum,
                  // record type, data before an address, no end record
  BadLayout = 8,  // words given twice, a word given by half, or an address
                  // beyond the C28x's 22-bit space
  Truncated = 9,  // a segment runs past the end of the file
};

// One outcome a line, so adding an outcome is adding a line.
// clang-format off
inline constexpr OutcomeRow<ProgramReadResult> kProgramReadOutcomes[] = {
    {ProgramReadResult::Ok, "Ok", "the file was read", "Reading COFF file is successful"},
    {ProgramReadResult::OpenFailed, "OpenFailed", "the file cannot be opened", "Fail to open specified file"},
    {ProgramReadResult::NotCoff, "NotCoff", "no program format known, or its headers lie outside the file", "The specified file is not COFF format"},
    {ProgramReadResult::TargetMismatch, "TargetMismatch", "built for another CPU than the C28x", "The specified file is not match with MCU"},
    {ProgramReadResult::FileError, "FileError", "the file points at positions of 2 GiB or more", "File exception error happens"},
    {ProgramReadResult::OutOfMemory, "OutOfMemory", "", "Memory exception error happens"},
    {ProgramReadResult::ImageTooLarge, "ImageTooLarge", kTextWithNumber<"the sections exceed the ", ProgramImage::kBufferBytes / (1024 * 1024), " MiB program image">, kTextWithNumber<"The sections of the COFF file are larger than the ", ProgramImage::kBufferBytes / (1024 * 1024), " MiB program image">},
    {ProgramReadResult::BadRecord, "BadRecord", "a HEX or TI-TXT line is no valid record; the message names it", "The file holds a line that is not a valid record"},
    {ProgramReadResult::BadLayout, "BadLayout", "a word given twice or by half, or beyond the 22-bit memory", "The program's data cannot be placed in the C28x's memory"},
    {ProgramReadResult::Truncated, "Truncated", "an ELF segment runs past the end of the file", "The file ends before the data it announces"},
};
// clang-format on
static_assert(OutcomesAreDistinct(kProgramReadOutcomes));

// "Ok", "NotCoff", ...: the outcome's name, for scripts.
constexpr std::string_view ProgramReadResultName(ProgramReadResult result) {
  return FindOutcomeRow(kProgramReadOutcomes, result).name;
}
// The sentence the user sees for the outcome.
constexpr std::string_view ProgramReadResultMessage(ProgramReadResult result) {
  return FindOutcomeRow(kProgramReadOutcomes, result).message;
}

enum class ProgramFormat : uint8_t { Unknown, Coff, Elf, IntelHex, TiTxt };

// "COFF", "ELF", "Intel HEX", "TI-TXT" or "unknown".
constexpr std::string_view ProgramFormatName(ProgramFormat format) {
  switch (format) {
    case ProgramFormat::Coff:
      return "COFF";
    case ProgramFormat::Elf:
      return "ELF";
    case ProgramFormat::IntelHex:
      return "Intel HEX";
    case ProgramFormat::TiTxt:
      return "TI-TXT";
    case ProgramFormat::Unknown:
      break;
  }
  return "unknown";
}

struct ProgramRead {
  ProgramFormat format = ProgramFormat::Unknown;
  ProgramReadResult result = ProgramReadResult::Ok;
  // Where and what, for the outcomes that point into the file ("line 12:
  // ..."), or what the path is when it is no file ("a directory"); empty
  // otherwise.
  std::string detail;
};
