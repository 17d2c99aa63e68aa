// What the commands that talk to the POD share: their options, turning them
// into an operation request, choosing the driver, running one operation on
// the terminal and turning its outcome into the exit status.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"
#include "cli/GangRun.h"
#include "ops/LoadedProgram.h"
#include "ops/OperationRequest.h"
#include "ops/ProgrammerOperations.h"
#include "pod/Clock.h"

inline constexpr CliOption kDeviceOption{"--device", "NAME",
                                         "F2801, F2802, F2806, F2808 or F2809 (default F2808)"};
inline constexpr CliOption kEraseOption{
    "--erase", "MODE", "intelligent (default): the sectors the program touches; all: every sector"};
inline constexpr CliOption kSectorsToEraseOption{
    "--erase", "SECTORS", "all (default), or the sectors to erase by letter, as A,C"};
inline constexpr CliOption kCsmOption{"--csm", "K0,...,K7",
                                      "unlock the CSM with these eight key words, hexadecimal"};
inline constexpr CliOption kNameOption{
    "--name", "NAME", "name stored in the POD, at most 8 bytes (default: the file's name)"};
#ifdef __linux__
inline constexpr CliOption kDriverOption{
    "--driver", "NAME",
    "d2xx, tty, tty:/dev/PATH or emulator (default: BRONTAFLEX_DRIVER, else d2xx when its "
    "library loads, else tty)"};
#else
inline constexpr CliOption kDriverOption{
    "--driver", "NAME", "d2xx or emulator (default: BRONTAFLEX_DRIVER, else d2xx)"};
#endif

inline constexpr CliOption kPodOption{
    "--pod", "SERIAL",
    "the POD with this USB serial number or port path (default: BRONTAFLEX_POD; needed when "
    "several are attached); given more than once, all of them at once"};
inline constexpr CliOption kAllPodsOption{"--all-pods", "",
                                          "every POD attached, all of them at once"};

inline constexpr CliOption kTraceOption{
    "--trace", "FILE",
    "write every frame both ways to the new file FILE (mode 0600), the CSM keys masked; with "
    "several PODs to FILE.SERIAL for each"};
inline constexpr CliOption kReplaceTraceOption{
    "--replace-trace", "", "let --trace replace an existing file (never a link, FIFO or device)"};
inline constexpr CliOption kQuietOption{"--quiet", "", "show only errors and the final message",
                                        "-q"};
inline constexpr CliOption kVerboseOption{
    "--verbose", "", "also show the backend, the port, its latency and each step's time", "-v"};
inline constexpr CliOption kJsonOption{
    "--json", "", "print one JSON object for the run on stdout; the messages go to stderr"};

using PodOperation =
    std::function<OperationOutcome(ProgrammerOperations&, const OperationRequest&)>;

// One operation as every POD of a run gets it.
struct PodJob {
  std::string_view command;
  const OperationRequest& request;
  const PodOperation& operation;
  Clock& clock;
  // The memory digest --expect demands of the request's file; none when not given.
  std::optional<std::string> expectedMemory = {};
};

// The request's file of a run, read once before any POD is used.
struct RunFile {
  LoadedProgram program;
  // Done when the PODs may have it; else why not: the reader's outcome, or
  // UnexpectedImage for a file that is not the one --expect names.
  OperationOutcome outcome = OperationOutcome::Done;
  int exitCode = kExitOk;
};

// Reads `job`'s file for its device and holds it to --expect, showing the
// outcome (and a refusal, naming both digests) on `ui`.
RunFile ReadRunFile(const PodJob& job, OperationsUi& ui);

// Runs `job` on every POD of `pods` at once: reads its file once for all of
// them, shows each POD's progress on `output`, then the table of how each ended.
GangResult RunGang(const PodJob& job, std::vector<GangPod> pods, const GangOutput& output);

// Runs `operation` for the command `command` with the parsed `args`; returns
// the exit status: 0, the COFF reader's code for a refused file, the outcome's
// number for any other failure, or kExitUsage for a bad option value. With
// several PODs chosen, it runs on all of them at once (RunGang).
int RunPodOperation(std::string_view command, const CliArgs& args, const PodOperation& operation);

// `description` followed by the exit statuses the POD commands share.
std::string PodCommandDetails(std::string_view description);
