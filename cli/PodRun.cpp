#include "cli/PodRun.h"

#include <chrono>

#include "cli/ExpectedMemory.h"
#include "cli/Interruption.h"
#include "image/MemoryDigest.h"
#include "ops/PortText.h"
#include "ops/UserText.h"

namespace {

// After the run: which port was the POD's and its latency timer now.
void NotePort(TerminalUi& ui, const ProgrammerOperations& operations) {
  if (const std::optional<PortDetails> port = operations.PodPort()) {
    ui.Note("port: " + PortLine(*port));
  }
}

}  // namespace

const LoadedProgram* RunPrograms::ForPod(size_t index) const {
  if (!numbered.empty()) {
    return &numbered[index];
  }
  return program.outcome == OperationOutcome::Done ? &program : nullptr;
}

std::optional<uint64_t> RunPrograms::NumberOf(size_t index) const {
  return numbers.empty() ? std::nullopt : std::optional<uint64_t>(numbers[index]);
}

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

bool StopAsked() {
  return InterruptingSignal() != 0;
}

int UnlessInterrupted(int exitCode) {
  return InterruptingSignal() != 0 ? 128 + InterruptingSignal() : exitCode;
}

RunReport RunOnPod(const PodJob& job, DriverSelection selection, const std::string& pod,
                   TerminalUi& ui, const LoadedProgram* program,
                   std::optional<uint64_t> serialNumber) {
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
