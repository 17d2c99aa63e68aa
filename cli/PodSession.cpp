#include "cli/PodSession.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/CsmKeys.h"
#include "cli/ExpectedMemory.h"
#include "cli/Interruption.h"
#include "cli/JsonOutput.h"
#include "cli/RunReport.h"
#include "cli/Terminal.h"
#include "cli/TerminalUi.h"
#include "cli/UsageError.h"
#include "image/ImageBuilder.h"
#include "image/McuCatalogue.h"
#include "image/MemoryDigest.h"
#include "image/ProgramReadResult.h"
#include "image/Utf8Path.h"
#include "ops/DriverSelection.h"
#include "ops/PortText.h"
#include "ops/RunLog.h"
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

// target-erase's --erase: "all", or the letters of sectors of `mcu` separated
// by commas ("A,C"), in either case.
bool ReadSectorsToErase(std::string_view text, const McuInfo& mcu, OperationRequest& request) {
  if (text == "all") {
    request.eraseAll = true;
    return true;
  }
  request.eraseSectors = 0;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string field = TrimBlanks(text.substr(start, comma - start));
    const int sector =
        field.size() == 1 ? std::toupper(static_cast<unsigned char>(field[0])) - 'A' : -1;
    if (sector < 0 || sector >= mcu.sectorCount) {
      return false;
    }
    request.eraseSectors |= static_cast<uint16_t>(1u << sector);
    if (comma == std::string_view::npos) {
      return true;
    }
    start = comma + 1;
  }
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
// file already read for every POD of a run, or this POD's copy numbered
// `serialNumber`; null for a command without a file.
RunReport RunOnPod(const PodJob& job, DriverSelection selection, const std::string& pod,
                   TerminalUi& ui, const LoadedProgram* program,
                   std::optional<uint64_t> serialNumber = std::nullopt) {
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
  if (serialNumber) {
    ui.ShowStatus("Serial number " + std::to_string(*serialNumber), false);
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
  int exitCode = OutcomeExitStatus(outcome, operations.lastReadResult());
  if (outcome == OperationOutcome::Interrupted) {
    exitCode = UnlessInterrupted(exitCode);
  }
  RunReport report =
      MakeRunReport(std::string(job.command), job.request.filePath, outcome, exitCode, operations,
                    ui.lastMessage(), ui.lastCause(), static_cast<uint64_t>(duration.count()));
  report.chosenPod = pod;
  report.serialNumber = serialNumber;
  return report;
}

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
  const LoadedProgram* ForPod(size_t index) const {
    if (!numbered.empty()) {
      return &numbered[index];
    }
    return program.outcome == OperationOutcome::Done ? &program : nullptr;
  }
  std::optional<uint64_t> NumberOf(size_t index) const {
    return numbers.empty() ? std::nullopt : std::optional<uint64_t>(numbers[index]);
  }
};

// Reads the job's file for `podCount` PODs, showing the result on `ui`, and
// numbers a copy for each when the job asks for it: a number without a place
// in the file, or a counter that cannot hand numbers out, uses no POD.
RunPrograms ReadForPods(const PodJob& job, size_t podCount, TerminalUi& ui) {
  RunPrograms run;
  if (job.request.filePath.empty()) {
    return run;
  }
  run.program = LoadProgram(TrimBlanks(job.request.filePath), job.request.mcuType, ui, false);
  OperationOutcome outcome = run.program.outcome;
  if (outcome == OperationOutcome::Done) {
    if (const std::string unexpected =
            UnexpectedMemory(job.expectedMemory, run.program.memoryDigest);
        !unexpected.empty()) {
      ui.ShowStatus(unexpected, true);
      outcome = OperationOutcome::UnexpectedImage;
    }
  }
  if (outcome != OperationOutcome::Done) {
    run.outcome = OutcomeName(outcome, run.program.readResult);
    run.exitCode = OutcomeExitStatus(outcome, run.program.readResult);
    return run;
  }
  if (!job.serial) {
    return run;
  }
  std::string problem = SerialPlaceProblem(*run.program.image, *job.serial);
  if (problem.empty()) {
    run.numbers = TakeSerialNumbers(*job.serial, podCount, problem);
  }
  if (!problem.empty()) {
    ui.ShowStatus(problem, true);
    run.outcome = "Usage";
    run.exitCode = kExitUsage;
    return run;
  }
  for (const uint64_t number : run.numbers) {
    LoadedProgram numbered = run.program;
    numbered.image = WithSerialNumber(*run.program.image, *job.serial, number);
    // What this target's memory will hold, its number included.
    numbered.memoryDigest = MemoryDigest(*numbered.image);
    run.numbered.push_back(std::move(numbered));
  }
  return run;
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

// A number as typed: decimal, or hexadecimal after 0x; with `hex`,
// hexadecimal with or without the 0x. None for anything else or above `largest`.
std::optional<uint64_t> ParseNumber(std::string_view text, bool hex, uint64_t largest) {
  const bool prefixed = text.starts_with("0x") || text.starts_with("0X");
  if (prefixed) {
    text.remove_prefix(2);
  }
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value, hex || prefixed ? 16 : 10);
  if (text.empty() || error != std::errc() || at != end || value > largest) {
    return std::nullopt;
  }
  return value;
}

// --serial and the options that go with it: none when it is not given; a
// usage error's text in `error` when they do not make sense together.
std::optional<SerialNumbering> SerialNumberingOf(const CliArgs& args, std::string& error) {
  const auto address = args.Value("--serial");
  if (!address) {
    for (const CliOption& option :
         {kSerialStartOption, kSerialStepOption, kSerialWidthOption, kSerialCounterOption}) {
      if (args.Has(option.name)) {
        error = std::string(option.name) + " needs --serial ADDR";
      }
    }
    return std::nullopt;
  }
  SerialNumbering numbering;
  const std::string width = args.Value("--serial-width").value_or("1");
  if (width != "1" && width != "2") {
    error = "--serial-width takes 1 or 2, not " + width;
    return std::nullopt;
  }
  numbering.width = width == "1" ? 1 : 2;
  const auto first = ParseNumber(*address, true, kC28xAddressWords - numbering.width);
  if (!first) {
    error = "--serial takes a word address in hexadecimal (such as 0x3F4000), not " + *address;
    return std::nullopt;
  }
  numbering.address = static_cast<uint32_t>(*first);
  const auto startText = args.Value("--serial-start");
  const auto start =
      startText ? ParseNumber(*startText, false, LargestSerialNumber(2)) : std::nullopt;
  if (!start) {
    error = startText
                ? "--serial-start takes a number, decimal or 0x hexadecimal, not " + *startText
                : "--serial needs --serial-start N, the first number";
    return std::nullopt;
  }
  numbering.start = *start;
  if (numbering.start > LargestSerialNumber(numbering.width)) {
    error = "--serial-start " + *startText + " does not fit in 1 word (at most 65535); " +
            "--serial-width 2 holds up to 4294967295";
    return std::nullopt;
  }
  const std::string stepText = args.Value("--serial-step").value_or("1");
  const auto step = ParseNumber(stepText, false, LargestSerialNumber(2));
  if (!step || *step == 0) {
    error = "--serial-step takes a number from 1 on, not " + stepText;
    return std::nullopt;
  }
  numbering.step = *step;
  numbering.counterPath = args.Value("--serial-counter").value_or("");
  return numbering;
}

// The log's line for a run that ended before any POD was used.
RunLogEntry RefusedRunEntry(std::string_view command, const OperationRequest& request,
                            std::string outcome, int exitCode, std::string message) {
  RunLogEntry entry;
  entry.command = command;
  entry.fileName = request.filePath;
  entry.outcome = std::move(outcome);
  entry.exitStatus = exitCode;
  entry.message = std::move(message);
  return entry;
}

// Appends each entry's line to `log`, when there is one. A line that cannot
// be written is said, and a run that succeeded then exits as an output error.
int LogRun(std::optional<RunLog>& log, const std::vector<RunLogEntry>& entries, int exitCode) {
  if (!log) {
    return exitCode;
  }
  for (const RunLogEntry& entry : entries) {
    if (const std::string failure = log->Write(entry); !failure.empty()) {
      std::cerr << "brontaflex-cli: write error: " << failure << std::endl;
      exitCode = exitCode == kExitOk ? kExitOutputError : exitCode;
    }
  }
  return exitCode;
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
                         "the output, the trace or the log could not be written whole");
  return text;
}

GangResult RunGang(const PodJob& job, std::vector<GangPod> pods, const GangOutput& output) {
  const auto start = std::chrono::steady_clock::now();
  GangResult result;
  // Read once, here, so that a file every POD would refuse uses none of them.
  RunPrograms programs;
  {
    TerminalUi fileUi(output.out, output.err, false, output.verbosity);
    programs = ReadForPods(job, pods.size(), fileUi);
  }
  if (programs.exitCode != 0) {
    result.outcome = programs.outcome;
    result.exitCode = programs.exitCode;
    return result;
  }
  result.reports = RunOnEveryPod(
      pods,
      [&](GangPod& pod, TerminalUi& ui) {
        const auto index = static_cast<size_t>(&pod - pods.data());
        return RunOnPod(job, {std::move(pod.driver), {}, {}}, pod.name, ui, programs.ForPod(index),
                        programs.NumberOf(index));
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
  if (command == "target-erase") {
    const McuInfo& mcu = McuEntry(request.mcuType);
    const std::string erase = args.Value("--erase").value_or("all");
    if (!ReadSectorsToErase(erase, mcu, request)) {
      const char lastSector = static_cast<char>('A' + mcu.sectorCount - 1);
      return usageError("--erase takes all or sector letters of the " + std::string(mcu.name) +
                        " (A to " + lastSector + ") separated by commas, not " + erase);
    }
  } else if (const auto erase = args.Value("--erase")) {
    if (*erase != "intelligent" && *erase != "all") {
      return usageError("--erase takes intelligent or all, not " + *erase);
    }
    request.eraseAll = *erase == "all";
  }
  std::string keysError;
  if (const std::optional<CsmKeyTexts> keys = ChosenCsmKeys(args, keysError)) {
    request.useCsm = true;
    request.keyTexts = *keys;
  } else if (!keysError.empty()) {
    return usageError(keysError);
  }
  if (args.Has("--csm")) {
    std::cerr << kCsmOnCommandLineWarning << std::endl;
  }
  request.podFileName = args.Value("--name").value_or("");
  if (HasControlCharacter(request.podFileName)) {
    return usageError("--name takes text without control characters");
  }
  const std::optional<std::string> expectedMemory = args.Value("--expect");
  if (expectedMemory && !IsMemoryDigestText(*expectedMemory)) {
    return usageError("--expect takes a memory digest of 64 hexadecimal digits, as info shows it");
  }
  const bool allPods = args.Has("--all-pods");
  if (allPods && args.Has("--pod")) {
    return usageError("--pod and --all-pods cannot be used together");
  }
  if (command == "pod-write" && args.Has("--serial")) {
    return usageError(
        "--serial is refused: the POD copies one program to every target it programs, so "
        "each could not get a number of its own; number targets with target-write");
  }
  std::string serialError;
  std::optional<SerialNumbering> serial = SerialNumberingOf(args, serialError);
  if (!serialError.empty()) {
    return usageError(serialError);
  }
  // Opened before any POD is used, so that a run is never left out of it.
  std::optional<RunLog> log;
  if (const std::string logPath = args.Value("--log").value_or(LogPathFromEnvironment());
      !logPath.empty()) {
    log.emplace(logPath);
    if (!log->open()) {
      return usageError(log->error());
    }
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
  const PodJob job{command, request, operation, clock, std::move(serial), expectedMemory};

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
      const auto notFound = OperationOutcome::PodNotFound;
      return LogRun(log,
                    {RefusedRunEntry(command, request,
                                     std::string(FindOutcomeRow(kOperationOutcomes, notFound).name),
                                     static_cast<int>(notFound), ui.lastMessage())},
                    static_cast<int>(notFound));
    }
  }
  if (!allPods && pods.size() <= 1) {
    const std::string pod = pods.empty() ? std::string() : pods.front();
    // Before any POD is looked for: a file refused, one that is not the one
    // --expect names, or a number without a place in it uses no POD.
    const RunPrograms programs = ReadForPods(job, 1, ui);
    if (programs.exitCode != 0) {
      ui.Finish();
      RunReport report =
          MakeFileRefusedReport(std::string(command), request.filePath, programs.program,
                                programs.outcome, programs.exitCode, ui.lastMessage());
      report.chosenPod = pod;
      if (json) {
        std::cout << JsonText(RunReportJson(report)) << std::endl;
      }
      return LogRun(log, {RunLogEntryOf(report)}, programs.exitCode);
    }
    DriverSelection selection = TracedTo(SelectDriverFor(driverName, pod, clock, emulator),
                                         trace.path, trace.existing, traces);
    if (!selection.driver) {
      return usageError(selection.error);
    }
    const RunReport report =
        RunOnPod(job, std::move(selection), pod, ui, programs.ForPod(0), programs.NumberOf(0));
    if (json) {
      std::cout << JsonText(RunReportJson(report)) << std::endl;
    }
    return LogRun(log, {RunLogEntryOf(report)}, CheckTraces(traces, report.exitCode));
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
  std::vector<RunLogEntry> entries;
  for (const RunReport& report : result.reports) {
    entries.push_back(RunLogEntryOf(report));
  }
  if (entries.empty()) {
    entries.push_back(RefusedRunEntry(command, request, result.outcome, result.exitCode, {}));
  }
  return LogRun(log, entries, CheckTraces(traces, result.exitCode));
}
