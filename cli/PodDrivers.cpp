#include "cli/PodDrivers.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "image/Utf8Path.h"
#include "ops/ProgrammerOperations.h"
#include "pod/TracingDriver.h"

namespace {

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

// The trace is --trace's, which never replaces a file unless asked to, else
// BRONTAFLEX_TRACE's, a standing setting that each run replaces, as the
// window's does.
PodDrivers::PodDrivers(const CliArgs& args, Clock& clock, McuType mcuType)
    : clock_(clock),
      driverName_(args.Value("--driver").value_or(DriverNameFromEnvironment())),
      emulator_(EmulatorSetupFromEnvironment(mcuType)) {
  if (const auto named = args.Value("--trace")) {
    tracePath_ = PathFromUtf8(*named);
    existingTrace_ = args.Has("--replace-trace") ? ExistingTrace::Replace : ExistingTrace::Refuse;
  } else {
    tracePath_ = TracePathFromEnvironment();
    existingTrace_ = ExistingTrace::Replace;
  }
}

std::vector<std::string> PodDrivers::AttachedPods(TerminalUi& ui, std::string& error) {
  DriverSelection probe = SelectDriver(driverName_, clock_, emulator_);
  if (!probe.driver) {
    error = probe.error;
    return {};
  }
  std::vector<std::string> pods;
  ProgrammerOperations operations(std::move(probe.driver), clock_, ui);
  for (const PortDetails& port : operations.AttachedPods()) {
    pods.push_back(port.serialNumber.empty() ? port.port : port.serialNumber);
  }
  return pods;
}

DriverSelection PodDrivers::ForPod(const std::string& pod) {
  return TracedTo(SelectDriverFor(driverName_, pod, clock_, emulator_), tracePath_);
}

std::optional<std::vector<GangPod>> PodDrivers::ForEachPod(const std::vector<std::string>& pods,
                                                           std::string& error) {
  std::vector<GangPod> gang;
  const std::vector<std::filesystem::path> tracePaths = GangTracePaths(tracePath_, pods);
  for (size_t index = 0; index < pods.size(); ++index) {
    DriverSelection selection =
        TracedTo(SelectDriverFor(driverName_, pods[index], clock_, emulator_), tracePaths[index]);
    if (!selection.driver) {
      error = selection.error;
      return std::nullopt;
    }
    gang.push_back({pods[index], std::move(selection.driver)});
  }
  return gang;
}

int PodDrivers::CheckTraces(int exitCode) const {
  for (const RunTrace& trace : traces_) {
    if (!trace.stream->flush()) {
      std::cerr << "brontaflex-cli: write error: the trace file " << Utf8FromPath(trace.path)
                << " was cut short" << std::endl;
      exitCode = exitCode == kExitOk ? kExitOutputError : exitCode;
    }
  }
  return exitCode;
}

// `selection`'s driver with its frames traced to a new file at `path`; the
// selection unchanged when `path` is empty, without a driver when the file
// cannot be made.
DriverSelection PodDrivers::TracedTo(DriverSelection selection, const std::filesystem::path& path) {
  if (!selection.driver || path.empty()) {
    return selection;
  }
  std::string error;
  std::shared_ptr<std::ostream> stream = OpenTraceFile(path, existingTrace_, error);
  if (!stream) {
    const bool exists = existingTrace_ == ExistingTrace::Refuse && std::filesystem::exists(path);
    return {nullptr, error + (exists ? " (--replace-trace replaces it)" : "")};
  }
  traces_.push_back({path, stream});
  return {std::make_unique<TracingDriver>(std::move(selection.driver), std::move(stream)), {}};
}
