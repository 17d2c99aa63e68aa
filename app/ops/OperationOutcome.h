// How a user operation ended. The message is already on the status line; the
// outcome is for callers that branch on it. Each value is also the command
// line's exit status, so the numbers are fixed and never reused.
#pragma once

#include <cstdint>
#include <string_view>

enum class OperationOutcome : uint8_t {
  Done = 0,
  // 1 is the command line's own usage error.
  NoFileGiven = 2,       // no image loaded and the File Path text is empty
  FileNotFound = 3,      // "The specified COFF file isn't exist"
  FileNotLoaded = 4,     // the COFF reader refused the file
  NoSectionData = 5,     // no sections or no bytes
  TooManySections = 6,   // more flash sections than the POD can store
  DataTooLarge = 7,      // more flash data than the POD can store
  NoFlashSection = 8,    // nothing for the POD's store
  BadCsmPassword = 9,    // all eight keys 0000
  DriverNotLoaded = 10,  // the FTDI driver could not be loaded
  PodNotFound = 11,
  PortFailed = 12,
  PodNoAnswer = 13,
  // Target Write failures, in the order of the target procedure's steps.
  SciBootFailed = 21,
  RamDownloadFailed = 22,
  ResetFailed = 23,  // also Target Reset
  FlashAlgorithmFailed = 24,
  FlashInitFailed = 25,
  EraseFailed = 26,
  ProgramFailed = 27,
  // The POD's store procedures (they show their own message).
  PodWriteFailed = 31,
  PodVerifyFailed = 32,
  PodInfoFailed = 33,
};

// "Done", "FileNotFound", ...: the outcome's name for --help and scripts.
std::string_view OperationOutcomeName(OperationOutcome outcome);
