// How a user operation ended. The message is already on the status line; the
// outcome is for callers that branch on it. The values double as the command
// line's exit statuses, so the numbers are fixed and never reused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/McuCatalogue.h"
#include "image/OutcomeTable.h"
#include "image/ProgramReadResult.h"
#include "image/TextWithNumber.h"

enum class OperationOutcome : uint8_t {
  Done = 0,
  // 1..9 belong to the COFF reader's outcomes and 64 to bad usage on the
  // command line, which reports a refused file with the reader's own code.
  NoFileGiven = 10,      // no image loaded and the File Path text is empty
  FileNotFound = 11,     // "The specified COFF file isn't exist"
  FileNotLoaded = 12,    // the reader refused the file
  NoSectionData = 13,    // no sections or no bytes
  TooManySections = 14,  // more flash sections than the POD can store
  DataTooLarge = 15,     // more flash data than the POD can store
  NoFlashSection = 16,   // nothing for the POD's store
  BadCsmPassword = 17,   // all eight keys 0000
  OutsideDevice = 18,    // a section lies outside the selected device's memory
  BadPodName = 19,       // the name to store in the POD holds a control character
  DriverNotLoaded = 20,  // the FTDI driver could not be loaded
  PodNotFound = 21,
  PortFailed = 22,
  PodNoAnswer = 23,
  PortBusy = 24,     // another program holds the POD's port
  SeveralPods = 25,  // the command line was not told which POD to use
  // A run on several PODs at once where at least one failed; each POD's own
  // outcome is in the run's table and JSON.
  SomePodsFailed = 26,
  // The file's memory digest is not the one the command line expects of it.
  UnexpectedImage = 27,
  // Target Write failures: 30 + the target procedure's result code.
  SciBootFailed = 31,
  RamDownloadFailed = 32,
  ResetFailed = 33,  // also Target Reset
  FlashAlgorithmFailed = 34,
  FlashInitFailed = 35,
  EraseFailed = 36,
  ProgramFailed = 37,
  // The POD's store procedures (the message is the failed step's, kPodStoreOutcomes).
  PodWriteFailed = 41,
  PodVerifyFailed = 42,  // the POD's copy was read and differs
  PodInfoFailed = 43,
  // The POD's copy could not be read, so whether it differs is not known.
  PodVerifyReadFailed = 44,
  // The user stopped a POD procedure (Ctrl-C: 128 + SIGINT; the command line
  // exits 143 when SIGTERM stopped it).
  Interrupted = 130,
};

// One outcome a line, so adding an outcome is adding a line. Rows without a
// message: the operation words it (which file is missing, how long the work
// took), or the COFF reader's or the store procedure's table has it.
// clang-format off
inline constexpr OutcomeRow<OperationOutcome> kOperationOutcomes[] = {
    {OperationOutcome::Done, "Done", "done"},
    {OperationOutcome::NoFileGiven, "NoFileGiven", "no COFF file named"},
    {OperationOutcome::FileNotFound, "FileNotFound", "FILE does not exist", "The specified COFF file isn't exist"},
    {OperationOutcome::FileNotLoaded, "FileNotLoaded", "the reader refused FILE, as for info"},
    {OperationOutcome::NoSectionData, "NoSectionData", "FILE holds no section data", "The selected COFF file don't have valid section data"},
    {OperationOutcome::TooManySections, "TooManySections", kTextWithNumber<"more than ", kPodMaxSections, " flash sections for the POD">, kTextWithNumber<"The supported section count is to ", kPodMaxSections, "">},
    {OperationOutcome::DataTooLarge, "DataTooLarge", kTextWithNumber<"more than ", kPodMaxBytes, " bytes of flash data for the POD">, "The data size is bigger than serial flash size in Brontaflex POD"},
    {OperationOutcome::NoFlashSection, "NoFlashSection", "no section in the device's flash for the POD", "There is no valid section for flash region"},
    {OperationOutcome::BadCsmPassword, "BadCsmPassword", "CSM keys all 0000", "CSM Password input is wrong"},
    {OperationOutcome::OutsideDevice, "OutsideDevice", "a section lies outside the device's memory"},
    {OperationOutcome::BadPodName, "BadPodName", "the name for the POD (the file's, without --name) holds a control character", "The POD file name holds a control character"},
    {OperationOutcome::DriverNotLoaded, "DriverNotLoaded", "the FTDI driver could not be loaded", "Fail to load FTD2XX.DLL"},
    {OperationOutcome::PodNotFound, "PodNotFound", "no POD attached", "No Connection to Brontaflex POD"},
    {OperationOutcome::PortFailed, "PortFailed", "the POD's port could not be opened", "Fail to open communication port"},
    {OperationOutcome::PodNoAnswer, "PodNoAnswer", "the POD did not answer", "Fail to initialize Brontaflex POD"},
    {OperationOutcome::PortBusy, "PortBusy", "another program holds the POD's port"},
    {OperationOutcome::SeveralPods, "SeveralPods", "several PODs attached and none chosen with --pod", "Several Brontaflex PODs are attached; choose one with --pod SERIAL"},
    {OperationOutcome::SomePodsFailed, "SomePodsFailed", "several PODs at once and at least one failed; the table gives each one's status"},
    {OperationOutcome::UnexpectedImage, "UnexpectedImage", "FILE's memory digest is not the one --expect gives; no POD was used"},
    {OperationOutcome::SciBootFailed, "SciBootFailed", "the target's SCI boot did not start", "Fail to start SCI boot"},
    {OperationOutcome::RamDownloadFailed, "RamDownloadFailed", "the download into the target's RAM failed", "Fail to download user program"},
    {OperationOutcome::ResetFailed, "ResetFailed", "the target could not be reset", "Fail to reset target board"},
    {OperationOutcome::FlashAlgorithmFailed, "FlashAlgorithmFailed", "the flash algorithm did not load (CSM keys?)", "Fail to download flash algorithm code"},
    {OperationOutcome::FlashInitFailed, "FlashInitFailed", "the target's flash could not be prepared", "Fail to initialize target board for flash memory write"},
    {OperationOutcome::EraseFailed, "EraseFailed", "erasing failed", "Fail to erase flash memory"},
    {OperationOutcome::ProgramFailed, "ProgramFailed", "programming failed", "Fail to write flash memory"},
    {OperationOutcome::PodWriteFailed, "PodWriteFailed", "storing the program in the POD failed"},
    {OperationOutcome::PodVerifyFailed, "PodVerifyFailed", "the POD's copy differs from FILE, or there is none"},
    {OperationOutcome::PodInfoFailed, "PodInfoFailed", "the POD's information could not be read", "Fail to read Brontaflex POD Information"},
    {OperationOutcome::PodVerifyReadFailed, "PodVerifyReadFailed", "the POD's copy could not be read: the POD stopped answering or the port went"},
    {OperationOutcome::Interrupted, "Interrupted", "stopped by Ctrl-C (SIGINT); 143 when by SIGTERM"},
};
// clang-format on
static_assert(OutcomesAreDistinct(kOperationOutcomes));

// The status line's text for a failure that has one.
constexpr std::string_view OperationOutcomeMessage(OperationOutcome outcome) {
  return FindOutcomeRow(kOperationOutcomes, outcome).message;
}

// The outcome's name for a script: the reader's own (NotCoff...) for a file it
// refused with `readResult`.
inline std::string OutcomeName(OperationOutcome outcome, ProgramReadResult readResult) {
  return outcome == OperationOutcome::FileNotLoaded
             ? std::string(ProgramReadResultName(readResult))
             : std::string(FindOutcomeRow(kOperationOutcomes, outcome).name);
}

// The outcome's exit status: the reader's own code for a file it refused.
constexpr int OutcomeExitStatus(OperationOutcome outcome, ProgramReadResult readResult) {
  return outcome == OperationOutcome::FileNotLoaded ? static_cast<int>(readResult)
                                                    : static_cast<int>(outcome);
}
