#include "cli/PodSession.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/ops/DriverSelection.h"
#include "app/ops/UserText.h"
#include "cli/Interruption.h"
#include "cli/JsonOutput.h"
#include "cli/PortText.h"
#include "cli/RunReport.h"
#include "cli/TerminalUi.h"
#include "image/CoffReader.h"
#include "image/McuCatalogue.h"
#include "image/Utf8Path.h"
#include "pod/Clock.h"

#ifdef _WIN32
#include <io.h>
#define BFX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define BFX_ISATTY(fd) isatty(fd)
#endif

namespace {

// --trace, else BRONTAFLEX_TRACE; empty for none.
std::filesystem::path TracePath(const CliArgs& args) {
  const auto named = args.Value("--trace");
  return named ? PathFromUtf8(*named) : TracePathFromEnvironment();
}

int UsageError(std::string_view command, const std::string& why) {
  std::cerr << "brontaflex-cli " << command << ": " << why << '\n';
  return kExitUsage;
}

bool IsKeyText(const std::string& text) {
  return text.size() <= 4 &&
         std::ranges::all_of(text, [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// "K0,...,K7": eight fields of at most four hexadecimal digits; an empty field
// is the erased word, as an empty key edit is.
std::optional<CsmKeyTexts> ParseCsmKeys(std::string_view text) {
  CsmKeyTexts keys;
  size_t index = 0;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string field = TrimBlanks(text.substr(start, comma - start));
    if (index == keys.size() || !IsKeyText(field)) {
      return std::nullopt;
    }
    keys[index++] = field;
    if (comma == std::string_view::npos) {
      break;
    }
    start = comma + 1;
  }
  if (index != keys.size()) {
    return std::nullopt;
  }
  return keys;
}

Verbosity VerbosityOf(const CliArgs& args) {
  if (args.Has("--quiet")) {
    return Verbosity::Quiet;
  }
  return args.Has("--verbose") ? Verbosity::Verbose : Verbosity::Normal;
}

// After the run: which port was the POD's and its latency timer now, and a
// warning when the timer stayed above 1 ms, which slows every reply down.
void NotePort(TerminalUi& ui, const PodLink& link, FtdiDriver& driver) {
  if (!link.found()) {
    return;
  }
  for (const PortDetails& port : driver.DescribePorts()) {
    const bool thePod =
        port.description == PodLink::kPodDescription &&
        (link.chosenSerialNumber().empty() || port.serialNumber == link.chosenSerialNumber());
    if (!thePod) {
      continue;
    }
    ui.Note("port: " + PortLine(port));
    if (port.latencyMs && *port.latencyMs > 1) {
      ui.ShowWarning("the latency timer of " + port.port + " is " +
                     std::to_string(*port.latencyMs) + " ms, not 1 ms; " +
                     std::string(kLatencyFix));
    }
    return;
  }
}

}  // namespace

std::string PodCommandDetails(std::string_view description) {
  std::string text(description);
  text += "\nExit status:\n";
  text += ExitStatusLine(FindOutcomeRow(kOperationOutcomes, OperationOutcome::Done));
  // A refused file exits with the reader's own code, so FileNotLoaded stands
  // for all of them.
  const CoffReadResult lastReadResult =
      std::ranges::max(kCoffReadOutcomes, {}, &OutcomeRow<CoffReadResult>::outcome).outcome;
  text +=
      ExitStatusLine("1-" + std::to_string(static_cast<int>(lastReadResult)),
                     FindOutcomeRow(kOperationOutcomes, OperationOutcome::FileNotLoaded).meaning);
  for (const auto& row : kOperationOutcomes) {
    if (row.outcome != OperationOutcome::Done && row.outcome != OperationOutcome::FileNotLoaded) {
      text += ExitStatusLine(row);
    }
  }
  text +=
      ExitStatusLine(std::to_string(kExitUsage), "bad usage, or a driver that cannot be set up");
  return text;
}

int RunPodOperation(std::string_view command, const CliArgs& args, const PodOperation& operation) {
  OperationRequest request;
  if (!args.operands.empty()) {
    request.filePath = args.operands.front();
  }
  if (const auto device = args.Value("--device")) {
    const auto found = FindMcuType(*device);
    if (!found) {
      return UsageError(command,
                        "unknown device " + *device + " (F2801, F2802, F2806, F2808 or F2809)");
    }
    request.mcuType = *found;
  }
  if (const auto erase = args.Value("--erase")) {
    if (*erase != "intelligent" && *erase != "all") {
      return UsageError(command, "--erase takes intelligent or all, not " + *erase);
    }
    request.eraseAll = *erase == "all";
  }
  if (const auto csm = args.Value("--csm")) {
    const auto keys = ParseCsmKeys(*csm);
    if (!keys) {
      return UsageError(command,
                        "--csm takes eight key words of at most 4 hexadecimal digits, "
                        "separated by commas");
    }
    request.useCsm = true;
    request.keyTexts = *keys;
  }
  request.podFileName = args.Value("--name").value_or("");
  if (HasControlCharacter(request.podFileName)) {
    return UsageError(command, "--name takes text without control characters");
  }

  SystemClock clock;
  DriverSelection selection =
      Traced(SelectDriver(args.Value("--driver").value_or(DriverNameFromEnvironment()), clock,
                          EmulatorSetupFromEnvironment(request.mcuType)),
             TracePath(args));
  if (!selection.driver) {
    return UsageError(command, selection.error);
  }
  CatchInterruptions();
  // With --json, stdout carries the object alone and the messages go to stderr.
  const bool json = args.Has("--json");
  std::ostream& messages = json ? std::cerr : std::cout;
  TerminalUi ui(messages, std::cerr, BFX_ISATTY(json ? 2 : 1) != 0, VerbosityOf(args),
                [] { return InterruptingSignal() != 0; });
  ui.Note("backend: " + selection.driver->Name());
  FtdiDriver& driver = *selection.driver;
  ProgrammerOperations operations(std::move(selection.driver), clock, ui);
  // A driver that does not load is reported once, by the operation's connect.
  operations.LoadDriver(false);
  operations.ChoosePod(args.Value("--pod").value_or(PodSerialNumberFromEnvironment()), true);
  const auto start = std::chrono::steady_clock::now();
  const OperationOutcome outcome = operation(operations, request);
  if (outcome == OperationOutcome::Interrupted) {
    ui.ShowStatus("Interrupted", true);
  }
  NotePort(ui, operations.link(), driver);
  ui.Finish();
  const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  int exitCode = static_cast<int>(outcome);
  if (outcome == OperationOutcome::FileNotLoaded) {
    exitCode = static_cast<int>(operations.lastReadResult());
  } else if (outcome == OperationOutcome::Interrupted) {
    exitCode = 128 + InterruptingSignal();
  }
  if (json) {
    ui.SetBusy(false);
    std::cout << JsonText(RunReportJson(MakeRunReport(
                     std::string(command), request.filePath, outcome, exitCode, operations,
                     ui.lastMessage(), ui.lastCause(), static_cast<uint64_t>(duration.count()))))
              << std::endl;
  }
  return exitCode;
}
