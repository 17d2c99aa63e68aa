// The options of the commands that talk to the POD, their help, and reading
// them into what the run is asked to do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"
#include "cli/DeviceOption.h"
#include "cli/TerminalUi.h"
#include "ops/OperationRequest.h"
#include "ops/SerialNumbers.h"

inline constexpr CliOption kEraseOption{
    "--erase", "MODE", "intelligent (default): the sectors the program touches; all: every sector"};
inline constexpr CliOption kSectorsToEraseOption{
    "--erase", "SECTORS", "all (default), or the sectors to erase by letter, as A,C"};
inline constexpr CliOption kCsmOption{
    "--csm", "K0,...,K7",
    "unlock the CSM with these eight key words, hexadecimal (seen by every user in the process "
    "list: prefer --csm-file)"};
inline constexpr CliOption kCsmFileOption{
    "--csm-file", "FILE",
    "read the CSM keys from FILE, which only its owner may read and write: K0,...,K7 as for "
    "--csm, or one key a line (default: BRONTAFLEX_CSM, as for --csm)"};
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
    "--pod",
    "SERIAL",
    "the POD with this USB serial number or port path (default: BRONTAFLEX_POD; needed when "
    "several are attached); given more than once, all of them at once",
    {},
    true};
inline constexpr CliOption kAllPodsOption{"--all-pods", "",
                                          "every POD attached, all of them at once"};

inline constexpr CliOption kTraceOption{
    "--trace", "FILE",
    "write every frame both ways to the new file FILE (mode 0600), the CSM keys masked; with "
    "several PODs to FILE.SERIAL for each"};
inline constexpr CliOption kReplaceTraceOption{
    "--replace-trace", "", "let --trace replace an existing file (never a link, FIFO or device)"};
inline constexpr CliOption kLogOption{
    "--log", "FILE",
    "append a JSON line for the run on each POD to FILE (default: BRONTAFLEX_LOG): time, "
    "host, user, command, file and digests, device, POD, outcome, exit status, cause, "
    "seconds and the --serial number"};
inline constexpr CliOption kQuietOption{"--quiet", "", "show only errors and the final message",
                                        "-q"};
inline constexpr CliOption kVerboseOption{
    "--verbose", "", "also show the backend, the port, its latency and each step's time", "-v"};
inline constexpr CliOption kJsonOption{
    "--json", "", "print one JSON object for the run on stdout; the messages go to stderr"};

inline constexpr CliOption kSerialOption{
    "--serial", "ADDR",
    "write a number of its own into each target's program at the word address ADDR "
    "(hexadecimal), which must lie inside a flash section of FILE; needs --serial-start"};
inline constexpr CliOption kSerialStartOption{
    "--serial-start", "N", "the first number (decimal, or hexadecimal after 0x)"};
inline constexpr CliOption kSerialStepOption{"--serial-step", "K",
                                             "added for each next target (default 1)"};
inline constexpr CliOption kSerialWidthOption{
    "--serial-width", "1|2",
    "words the number takes (default 1); with 2 the low word is at ADDR and the high word "
    "after it, as the C28x keeps a 32-bit value"};
inline constexpr CliOption kSerialCounterOption{
    "--serial-counter", "FILE",
    "take the numbers from FILE, which holds the next one (made at N when missing; N wins "
    "when larger), and store the number after them there before the write starts; locked "
    "(FILE.lock), so a number is never given twice, though one may be skipped"};
// pod-write lists it only to say why it refuses it.
inline constexpr CliOption kSerialRefusedOption{
    "--serial", "ADDR",
    "refused: the POD copies one program to every target it programs; number targets with "
    "target-write"};

// What a POD command's options ask for, read and checked before any file,
// log or POD is used.
struct PodCommandOptions {
  OperationRequest request;
  // With --serial: how each target's number is chosen and where it goes.
  std::optional<SerialNumbering> serial;
  // The memory digest --expect demands of the request's file; none when not given.
  std::optional<std::string> expectedMemory;
  bool allPods = false;
  // One JSON object on stdout, the messages on stderr.
  bool json = false;
  Verbosity verbosity = Verbosity::Normal;
};

// Reads the options `command` was given in `args`; none, with a usage error's
// text in `error`, when one of them is wrong. Keys given with --csm are warned
// of on stderr.
std::optional<PodCommandOptions> ReadPodCommandOptions(std::string_view command,
                                                       const CliArgs& args, std::string& error);

// `description` followed by the exit statuses the POD commands share.
std::string PodCommandDetails(std::string_view description);
