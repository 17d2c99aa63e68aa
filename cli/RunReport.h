// What one run of a command that talks to the POD did, and the one JSON object
// --json prints for it. The object's fields are an interface for scripts: add
// fields, never rename or drop one.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "ops/LoadedProgram.h"
#include "ops/ProgrammerOperations.h"
#include "ops/RunLog.h"
#include "pod/FailureCause.h"

struct RunReport {
  std::string command;
  int exitCode = 0;
  std::string outcome;  // the outcome's name, or the COFF reader's for a refused file
  std::string message;  // the last status line
  FailureCause cause;
  std::string device;  // empty when the command reads no file
  std::string filePath;
  std::string fileSha256;  // of the bytes read; empty when none were
  // MemoryDigest of the program read; empty when none was read whole.
  std::string memoryDigest;
  uint64_t durationMs = 0;
  uint64_t wordsWritten = 0;
  uint16_t podVersion = 0;  // tenths; 0 when not read
  std::string podFileName;  // the name the POD stores, when known
  std::string podDate;      // "YYYY-MM-DD hh:mm" of the stored program, when read
  std::string chosenPod;    // the serial number or port given with --pod; empty for none
  std::optional<uint64_t> serialNumber;  // the number --serial wrote into this target
  std::string podSerialNumber;  // the USB serial number of the POD used; empty when none was found
};

// The report of `command` run by `operations` with the file `filePath`, which
// ended in `outcome` and `exitCode` with `message` and `cause` last shown.
RunReport MakeRunReport(std::string command, const std::string& filePath, OperationOutcome outcome,
                        int exitCode, const ProgrammerOperations& operations, std::string message,
                        const FailureCause& cause, uint64_t durationMs);

// The report of `command` on the file `filePath`, which ended before any POD
// was used: `program` was refused with `outcome` and `exitCode`, `message` shown.
RunReport MakeFileRefusedReport(std::string command, const std::string& filePath,
                                const LoadedProgram& program, std::string outcome, int exitCode,
                                std::string message);

nlohmann::ordered_json RunReportJson(const RunReport& report);

// The run log's entry for the run `report` tells of.
RunLogEntry RunLogEntryOf(const RunReport& report);
