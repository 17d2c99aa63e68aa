// How a user operation ended. The message is already on the status line; the
// outcome is for callers that branch on it. The values double as the command
// line's exit statuses, so the numbers are fixed and never reused.
#pragma once

#include <cstdint>
#include <string_view>

enum class OperationOutcome : uint8_t {
  Done = 0,
  // 1..9 belong to the COFF reader's outcomes and 64 to bad usage on the
  // command line, which reports a refused file with the reader's own code.
  NoFileGiven = 10,      // no image loaded and the File Path text is empty
  FileNotFound = 11,     // "The specified COFF file isn't exist"
  FileNotLoaded = 12,    // the COFF reader refused the file
  NoSectionData = 13,    // no sections or no bytes
  TooManySections = 14,  // more flash sections than the POD can store
  DataTooLarge = 15,     // more flash data than the POD can store
  NoFlashSection = 16,   // nothing for the POD's store
  BadCsmPassword = 17,   // all eight keys 0000
  DriverNotLoaded = 20,  // the FTDI driver could not be loaded
  PodNotFound = 21,
  PortFailed = 22,
  PodNoAnswer = 23,
  // Target Write failures: 30 + the target procedure's result code.
  SciBootFailed = 31,
  RamDownloadFailed = 32,
  ResetFailed = 33,  // also Target Reset
  FlashAlgorithmFailed = 34,
  FlashInitFailed = 35,
  EraseFailed = 36,
  ProgramFailed = 37,
  // The POD's store procedures (they show their own message).
  PodWriteFailed = 41,
  PodVerifyFailed = 42,
  PodInfoFailed = 43,
};

// "Done", "FileNotFound", ...: the outcome's name for --help and scripts.
std::string_view OperationOutcomeName(OperationOutcome outcome);
