#include "cli/PodCommand.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <vector>

#include "cli/GangRun.h"
#include "cli/Interruption.h"
#include "cli/JsonOutput.h"
#include "cli/PodDrivers.h"
#include "cli/RunReport.h"
#include "cli/Terminal.h"
#include "cli/TerminalUi.h"
#include "cli/UsageError.h"
#include "ops/DriverSelection.h"
#include "ops/RunLog.h"
#include "ops/UserText.h"

namespace {

// Keeps `ui`'s redrawn line within the width of the terminal on `fd`.
void FitToTerminal(TerminalUi& ui, int fd) {
  WatchTerminalSize();
  ui.FitToWidth([fd] { return TerminalColumns(fd); }, TerminalResized);
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

// A run of a POD command whose options were read and whose log is open: what
// each POD runs, the drivers, and where the messages and the outcome go.
struct CommandRun {
  const PodJob& job;
  const PodCommandOptions& options;
  PodDrivers& drivers;
  std::optional<RunLog>& log;
  // The messages: on stdout, or on stderr when stdout carries the JSON object.
  std::ostream& messages;
  bool tty;
  TerminalUi& ui;

  int UsageError(std::string_view why) const {
    return ReportUsageError(job.command, why, options.json);
  }
};

// The run on `pod` alone (the first POD when empty).
int RunOnOnePod(CommandRun& run, const std::string& pod) {
  // Before any POD is looked for: a file refused, one that is not the one
  // --expect names, or a number without a place in it uses no POD.
  const RunPrograms programs = ReadForPods(run.job, 1, run.ui);
  if (programs.exitCode != 0) {
    run.ui.Finish();
    RunReport report = MakeFileRefusedReport(std::string(run.job.command), run.job.request.filePath,
                                             programs.program, programs.outcome, programs.exitCode,
                                             run.ui.lastMessage());
    report.chosenPod = pod;
    if (run.options.json) {
      std::cout << JsonText(RunReportJson(report)) << std::endl;
    }
    return LogRun(run.log, {RunLogEntryOf(report)}, programs.exitCode);
  }
  DriverSelection selection = run.drivers.ForPod(pod);
  if (!selection.driver) {
    return run.UsageError(selection.error);
  }
  const RunReport report = RunOnPod(run.job, std::move(selection), pod, run.ui, programs.ForPod(0),
                                    programs.NumberOf(0));
  if (run.options.json) {
    std::cout << JsonText(RunReportJson(report)) << std::endl;
  }
  return LogRun(run.log, {RunLogEntryOf(report)}, run.drivers.CheckTraces(report.exitCode));
}

// The run on every POD of `pods` at once.
int RunOnEveryPod(CommandRun& run, const std::vector<std::string>& pods) {
  std::string error;
  std::optional<std::vector<GangPod>> gang = run.drivers.ForEachPod(pods, error);
  if (!gang) {
    return run.UsageError(error);
  }
  const GangResult result =
      RunGang(run.job, std::move(*gang),
              {run.messages, std::cerr, run.tty, run.options.verbosity, StopAsked});
  if (run.options.json) {
    std::cout << JsonText(GangJson(run.job.command, result)) << std::endl;
  }
  std::vector<RunLogEntry> entries;
  for (const RunReport& report : result.reports) {
    entries.push_back(RunLogEntryOf(report));
  }
  if (entries.empty()) {
    entries.push_back(
        RefusedRunEntry(run.job.command, run.job.request, result.outcome, result.exitCode, {}));
  }
  return LogRun(run.log, entries, run.drivers.CheckTraces(result.exitCode));
}

}  // namespace

int RunPodCommand(std::string_view command, const CliArgs& args, const PodOperation& operation) {
  std::string error;
  const std::optional<PodCommandOptions> options = ReadPodCommandOptions(command, args, error);
  if (!options) {
    return ReportUsageError(command, error, args.Has("--json"));
  }
  // Opened before any POD is used, so that a run is never left out of it.
  std::optional<RunLog> log;
  if (const std::string logPath = args.Value("--log").value_or(LogPathFromEnvironment());
      !logPath.empty()) {
    log.emplace(logPath);
    if (!log->open()) {
      return ReportUsageError(command, log->error(), options->json);
    }
  }

  SystemClock clock;
  PodDrivers drivers(args, clock, options->request.mcuType);
  CatchInterruptions();
  // With --json, stdout carries the object alone and the messages go to stderr.
  const int messagesFd = options->json ? 2 : 1;
  std::ostream& messages = options->json ? std::cerr : std::cout;
  const bool tty = IsTerminal(messagesFd);
  TerminalUi ui(messages, std::cerr, tty, options->verbosity, StopAsked);
  if (tty) {
    FitToTerminal(ui, messagesFd);
  }
  const PodJob job{command, options->request, operation,
                   clock,   options->serial,  options->expectedMemory};
  CommandRun run{job, *options, drivers, log, messages, tty, ui};

  std::vector<std::string> pods = ChosenPods(args);
  if (std::ranges::any_of(pods, HasControlCharacter)) {
    return run.UsageError("--pod takes text without control characters");
  }
  if (options->allPods) {
    pods = drivers.AttachedPods(ui, error);
    if (!error.empty()) {
      return run.UsageError(error);
    }
    if (pods.empty()) {
      const auto notFound = OperationOutcome::PodNotFound;
      return LogRun(log,
                    {RefusedRunEntry(command, options->request,
                                     std::string(FindOutcomeRow(kOperationOutcomes, notFound).name),
                                     static_cast<int>(notFound), ui.lastMessage())},
                    static_cast<int>(notFound));
    }
  }
  if (!options->allPods && pods.size() <= 1) {
    return RunOnOnePod(run, pods.empty() ? std::string() : pods.front());
  }
  return RunOnEveryPod(run, pods);
}
