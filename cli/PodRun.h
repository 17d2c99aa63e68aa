// One operation on one POD: the file read before any POD is used (once for
// all the PODs of a run), then the operation through the POD's driver, shown
// on a terminal and told as a run report.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/RunReport.h"
#include "cli/TerminalUi.h"
#include "ops/DriverSelection.h"
#include "ops/LoadedProgram.h"
#include "ops/OperationRequest.h"
#include "ops/ProgrammerOperations.h"
#include "ops/SerialNumbers.h"
#include "pod/Clock.h"

using PodOperation =
    std::function<OperationOutcome(ProgrammerOperations&, const OperationRequest&)>;

// One operation as every POD of a run gets it.
struct PodJob {
  std::string_view command;
  const OperationRequest& request;
  const PodOperation& operation;
  Clock& clock;
  // With --serial: how each target's number is chosen and where it goes.
  std::optional<SerialNumbering> serial = std::nullopt;
  // The memory digest --expect demands of the request's file; none when not given.
  std::optional<std::string> expectedMemory = {};
};

// What the PODs of a run write, settled before any POD is used: the file read
// once for all of them and, with --serial, a copy of it for each POD with its
// own number written in.
struct RunPrograms {
  // Not 0 when no POD may be used; what was wrong has been shown.
  int exitCode = 0;
  std::string outcome;
  LoadedProgram program;
  // With --serial, one for each POD, with its number.
  std::vector<LoadedProgram> numbered;
  std::vector<uint64_t> numbers;

  // The program POD `index` writes; null when the job reads no file.
  const LoadedProgram* ForPod(size_t index) const;
  std::optional<uint64_t> NumberOf(size_t index) const;
};

// Reads the job's file for `podCount` PODs, showing the result on `ui`, and
// numbers a copy for each when the job asks for it: a file that is not the
// one --expect names, a number without a place in the file, or a counter that
// cannot hand numbers out uses no POD.
RunPrograms ReadForPods(const PodJob& job, size_t podCount, TerminalUi& ui);

// The operation on the POD `pod` through `selection`'s driver, shown on `ui`.
// `program` is the file already read for every POD of a run, or this POD's
// copy numbered `serialNumber`; null for a command without a file.
RunReport RunOnPod(const PodJob& job, DriverSelection selection, const std::string& pod,
                   TerminalUi& ui, const LoadedProgram* program,
                   std::optional<uint64_t> serialNumber = std::nullopt);

// Whether the user asked the run to stop (Ctrl-C, SIGTERM).
bool StopAsked();

// The exit status of a run the user stopped; `exitCode` when nobody did.
int UnlessInterrupted(int exitCode);
