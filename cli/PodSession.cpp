#include "cli/PodSession.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/Interruption.h"
#include "cli/JsonOutput.h"
#include "cli/RunReport.h"
#include "cli/Terminal.h"
#include "cli/TerminalUi.h"
#include "cli/UsageError.h"
#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"
#include "image/Utf8Path.h"
#include "ops/DriverSelection.h"
#include "ops/PortText.h"
#include "ops/UserText.h"
#include "pod/Clock.h"
#include "pod/PodLink.h"
#include "pod/TraceFile.h"
#include "pod/TracingDriver.h"

namespace {

// Keeps `ui`'s redrawn line within the width of the terminal on `fd`.
void FitToTerminal(TerminalUi& ui, int fd) {
  WatchTerminalSize();
  ui.FitToWidth([fd] { return TerminalColumns(fd); }, TerminalResized);
}

// Where the run's trace goes: --trace, which never replaces a file unless
// asked to, else BRONTAFLEX_TRACE, a standing setting that each run replaces,
// as the window's does; an empty path for none.
struct TraceRequest {
  std::filesystem::path path;
  ExistingTrace existing = ExistingTrace::Refuse;
};

TraceRequest RequestedTrace(const CliArgs& args) {
  if (const auto named = args.Value("--trace")) {
    return {PathFromUtf8(*named),
            args.Has("--replace-trace") ? ExistingTrace::Replace : ExistingTrace::Refuse};
  }
  return {TracePathFromEnvironment(), ExistingTrace::Replace};
}

// A trace file of the run, kept so that the run can tell at its end whether
// every frame reached it.
struct RunTrace {
  std::filesystem::path path;
  std::shared_ptr<std::ostream> stream;
};

// `selection`'s driver with its frames traced to a new file at `path`; the
// selection unchanged when `path` is empty, without a driver when the file
// cannot be made.
DriverSelection TracedTo(DriverSelection selection, const std::filesystem::path& path,
                         ExistingTrace existing, std::vector<RunTrace>& traces) {
  if (!selection.driver || path.empty()) {
    return selection;
  }
  std::string error;
  std::shared_ptr<std::ostream> stream = OpenTraceFile(path, existing, error);
  if (!stream) {
    const bool exists = existing == ExistingTrace::Refuse && std::filesystem::exists(path);
    return {nullptr, error + (exists ? " (--replace-trace replaces it)" : "")};
  }
  traces.push_back({path, stream});
  return {std::make_unique<TracingDriver>(std::move(selection.driver), std::move(stream)), {}};
}

// Brings every trace to its file. One cut short (a full disk) is said, and a
// run that succeeded then fails as an output error.
int CheckTraces(const std::vector<RunTrace>& traces, int exitCode) {
  for (const RunTrace& trace : traces) {
    if (!trace.stream->flush()) {
      std::cerr << "brontaflex-cli: write error: the trace file " << Utf8FromPath(trace.path)
                << " was cut short" << std::endl;
      exitCode = exitCode == kExitOk ? kExitOutputError : exitCode;
    }
  }
  return exitCode;
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

// After the run: which port was the POD's and its latency timer now.
void NotePort(TerminalUi& ui, const ProgrammerOperations& operations) {
  if (const std::optional<PortDetails> port = operations.PodPort()) {
    ui.Note("port: " + PortLine(*port));
  }
}

bool StopAsked() {
  return InterruptingSignal() != 0;
}

// The exit status of a run the user stopped; `exitCode` when nobody did.
int UnlessInterrupted(int exitCode) {
  return InterruptingSignal() != 0 ? 128 + InterruptingSignal() : exitCode;
}

// The operation on one POD through `driver`, shown on `ui`. `program` is the
// file already read for every POD of a run on several; null: the operation
// reads the request's file itself.
RunReport RunOnPod(const PodJob& job, DriverSelection selection, const std::string& pod,
                   TerminalUi& ui, const LoadedProgram* program) {
  for (const BackendProbe& probe : selection.probes) {
    ui.Note("driver " + probe.backend + (probe.used ? " used: " : " not used: ") + probe.why);
  }
  ui.Note("backend: " + selection.driver->Name());
  ProgrammerOperations operations(std::move(selection.driver), job.clock, ui);
  operations.SetDriverProbes(std::move(selection.probes));
  // A driver that does not load is reported once, by the operation's connect.
  operations.LoadDriver(false);
  // A port named by its path is the POD, whatever serial number it has.
  operations.ChoosePod(IsPortPath(pod) ? std::string() : pod, true);
  if (program != nullptr) {
    operations.UseProgram(*program);
  }
  const auto start = std::chrono::steady_clock::now();
  const OperationOutcome outcome = job.operation(operations, job.request);
  if (outcome == OperationOutcome::Interrupted) {
    ui.ShowStatus("Interrupted", true);
  }
  NotePort(ui, operations);
  ui.Finish();
  ui.SetBusy(false);
  const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  int exitCode = static_cast<int>(outcome);
  if (outcome == OperationOutcome::FileNotLoaded) {
    exitCode = static_cast<int>(operations.lastReadResult());
  } else if (outcome == OperationOutcome::Interrupted) {
    exitCode = UnlessInterrupted(exitCode);
  }
  RunReport report =
      MakeRunReport(std::string(job.command), job.request.filePath, outcome, exitCode, operations,
                    ui.lastMessage(), ui.lastCause(), static_cast<uint64_t>(duration.count()));
  report.chosenPod = pod;
  return report;
}

// The PODs --pod names, each once and in the order given, else BRONTAFLEX_POD's.
std::vector<std::string> ChosenPods(const CliArgs& args) {
  std::vector<std::string> pods;
  for (std::string& pod : args.Values("--pod")) {
    if (std::ranges::find(pods, pod) == pods.end()) {
      pods.push_back(std::move(pod));
    }
  }
  if (pods.empty()) {
    if (std::string pod = PodSerialNumberFromEnvironment(); !pod.empty()) {
      pods.push_back(std::move(pod));
    }
  }
  return pods;
}

// Every POD `driver` sees: its serial number, or its port where it has none.
// None found is shown on `ui` with what the driver saw.
std::vector<std::string> AttachedPods(FtdiDriver& driver, Clock& clock, TerminalUi& ui) {
  std::vector<std::string> pods;
  PodLink link(driver, clock);
  if (link.LoadDriver()) {
    for (const PortDetails& port : link.AttachedPods()) {
      pods.push_back(port.serialNumber.empty() ? port.port : port.serialNumber);
    }
  }
  if (pods.empty()) {
    ui.ShowStatus(std::string(OperationOutcomeMessage(OperationOutcome::PodNotFound)), true);
    ui.ShowPortsSeen(driver.DescribePorts());
  }
  link.UnloadDriver();
  return pods;
}

// Each POD's trace beside the others: FILE.SERIAL, or FILE.ttyUSB0 for a port;
// a name that two ports share gets the POD's place in the run as well
// (FILE.ttyUSB0.2), so that no trace is written over another.
std::vector<std::filesystem::path> GangTracePaths(const std::filesystem::path& tracePath,
                                                  const std::vector<std::string>& pods) {
  std::vector<std::filesystem::path> paths;
  for (size_t index = 0; index < pods.size(); ++index) {
    if (tracePath.empty()) {
      paths.emplace_back();
      continue;
    }
    const std::string& pod = pods[index];
    std::filesystem::path traced = tracePath;
    traced +=
        PathFromUtf8("." + (IsPortPath(pod) ? Utf8FromPath(PathFromUtf8(pod).filename()) : pod));
    if (std::ranges::find(paths, traced) != paths.end()) {
      traced += "." + std::to_string(index + 1);
    }
    paths.push_back(std::move(traced));
  }
  return paths;
}

}  // namespace

std::string PodCommandDetails(std::string_view description) {
  std::string text(description);
  text += "\nExit status:\n";
  text += ExitStatusLine(FindOutcomeRow(kOperationOutcomes, OperationOutcome::Done));
  // A refused file exits with the reader's own code, so FileNotLoaded stands
  // for all of them.
  const ProgramReadResult lastReadResult =
      std::ranges::max(kProgramReadOutcomes, {}, &OutcomeRow<ProgramReadResult>::outcome).outcome;
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
  text += ExitStatusLine(std::to_string(kExitOutputError),
                         "the output or the trace could not be written whole");
  return text;
}

GangResult RunGang(const PodJob& job, std::vector<GangPod> pods, const GangOutput& output) {
  const auto start = std::chrono::steady_clock::now();
  GangResult result;
  LoadedProgram program;
  if (!job.request.filePath.empty()) {
    // Read once, here, so that a file every POD would refuse uses none of them.
    TerminalUi fileUi(output.out, output.err, false, output.verbosity);
    program = LoadProgram(TrimBlanks(job.request.filePath), job.request.mcuType, fileUi, false);
    if (program.outcome != OperationOutcome::Done) {
      const bool refused = program.outcome == OperationOutcome::FileNotLoaded;
      result.outcome = refused
                           ? std::string(ProgramReadResultName(program.readResult))
                           : std::string(FindOutcomeRow(kOperationOutcomes, program.outcome).name);
      result.exitCode =
          refused ? static_cast<int>(program.readResult) : static_cast<int>(program.outcome);
      return result;
    }
  }
  const LoadedProgram* shared = job.request.filePath.empty() ? nullptr : &program;
  result.reports = RunOnEveryPod(
      pods,
      [&](GangPod& pod, TerminalUi& ui) {
        return RunOnPod(job, {std::move(pod.driver), {}, {}}, pod.name, ui, shared);
      },
      output);
  result.exitCode = UnlessInterrupted(GangExitCode(result.reports));
  const auto outcome = result.exitCode > static_cast<int>(OperationOutcome::Interrupted)
                           ? OperationOutcome::Interrupted
                           : static_cast<OperationOutcome>(result.exitCode);
  result.outcome = FindOutcomeRow(kOperationOutcomes, outcome).name;
  result.durationMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
  output.out << '\n' << GangTable(result.reports) << std::flush;
  return result;
}

int RunPodOperation(std::string_view command, const CliArgs& args, const PodOperation& operation) {
  const auto usageError = [&](const std::string& why) {
    return ReportUsageError(command, why, args.Has("--json"));
  };
  if (args.Has("--quiet") && args.Has("--verbose")) {
    return usageError("--quiet and --verbose cannot be used together");
  }
  OperationRequest request;
  if (!args.operands.empty()) {
    request.filePath = args.operands.front();
  }
  if (const auto device = args.Value("--device")) {
    const auto found = FindMcuType(*device);
    if (!found) {
      return usageError("unknown device " + *device + " (F2801, F2802, F2806, F2808 or F2809)");
    }
    request.mcuType = *found;
  }
  if (const auto erase = args.Value("--erase")) {
    if (*erase != "intelligent" && *erase != "all") {
      return usageError("--erase takes intelligent or all, not " + *erase);
    }
    request.eraseAll = *erase == "all";
  }
  if (const auto csm = args.Value("--csm")) {
    const auto keys = ParseCsmKeys(*csm);
    if (!keys) {
      return usageError(
          "--csm takes eight key words of at most 4 hexadecimal digits, "
          "separated by commas");
    }
    request.useCsm = true;
    request.keyTexts = *keys;
  }
  request.podFileName = args.Value("--name").value_or("");
  if (HasControlCharacter(request.podFileName)) {
    return usageError("--name takes text without control characters");
  }
  const bool allPods = args.Has("--all-pods");
  if (allPods && args.Has("--pod")) {
    return usageError("--pod and --all-pods cannot be used together");
  }

  SystemClock clock;
  const std::string driverName = args.Value("--driver").value_or(DriverNameFromEnvironment());
  const TraceRequest trace = RequestedTrace(args);
  std::vector<RunTrace> traces;
  const EmulatorSetup emulator = EmulatorSetupFromEnvironment(request.mcuType);
  CatchInterruptions();
  // With --json, stdout carries the object alone and the messages go to stderr.
  const bool json = args.Has("--json");
  std::ostream& messages = json ? std::cerr : std::cout;
  const bool tty = IsTerminal(json ? 2 : 1);
  TerminalUi ui(messages, std::cerr, tty, VerbosityOf(args), StopAsked);
  if (tty) {
    FitToTerminal(ui, json ? 2 : 1);
  }
  const PodJob job{command, request, operation, clock};

  std::vector<std::string> pods = ChosenPods(args);
  if (std::ranges::any_of(pods, HasControlCharacter)) {
    return usageError("--pod takes text without control characters");
  }
  if (allPods) {
    DriverSelection probe = SelectDriver(driverName, clock, emulator);
    if (!probe.driver) {
      return usageError(probe.error);
    }
    pods = AttachedPods(*probe.driver, clock, ui);
    if (pods.empty()) {
      return static_cast<int>(OperationOutcome::PodNotFound);
    }
  }
  if (!allPods && pods.size() <= 1) {
    const std::string pod = pods.empty() ? std::string() : pods.front();
    DriverSelection selection = TracedTo(SelectDriverFor(driverName, pod, clock, emulator),
                                         trace.path, trace.existing, traces);
    if (!selection.driver) {
      return usageError(selection.error);
    }
    const RunReport report = RunOnPod(job, std::move(selection), pod, ui, nullptr);
    if (json) {
      std::cout << JsonText(RunReportJson(report)) << std::endl;
    }
    return CheckTraces(traces, report.exitCode);
  }

  std::vector<GangPod> gang;
  const std::vector<std::filesystem::path> tracePaths = GangTracePaths(trace.path, pods);
  for (size_t index = 0; index < pods.size(); ++index) {
    DriverSelection selection = TracedTo(SelectDriverFor(driverName, pods[index], clock, emulator),
                                         tracePaths[index], trace.existing, traces);
    if (!selection.driver) {
      return usageError(selection.error);
    }
    gang.push_back({pods[index], std::move(selection.driver)});
  }
  const GangResult result =
      RunGang(job, std::move(gang), {messages, std::cerr, tty, VerbosityOf(args), StopAsked});
  if (json) {
    std::cout << JsonText(GangJson(command, result)) << std::endl;
  }
  return CheckTraces(traces, result.exitCode);
}
