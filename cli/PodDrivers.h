// Finding the PODs of a run and a driver for each: the PODs --pod names (or
// every one attached, with --all-pods), the driver --driver names (else the
// default choice), each traced to a file of its own when the run is traced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/GangRun.h"
#include "cli/TerminalUi.h"
#include "ops/DriverSelection.h"
#include "pod/Clock.h"
#include "pod/TraceFile.h"

// The PODs --pod names, each once and in the order given, else BRONTAFLEX_POD's.
std::vector<std::string> ChosenPods(const CliArgs& args);

class PodDrivers {
 public:
  // The drivers `args` ask for, with an emulated target of the device
  // `mcuType` when the emulator is chosen. `clock` must outlive the drivers.
  PodDrivers(const CliArgs& args, Clock& clock, McuType mcuType);

  // Every POD the driver sees: its serial number, or its port where it has
  // none. None found is shown on `ui` with what the driver saw; none, with
  // `error` saying why, when the driver cannot be set up.
  std::vector<std::string> AttachedPods(TerminalUi& ui, std::string& error);
  // The driver for `pod` (the first POD when empty), traced to the run's
  // trace file; without a driver, saying why, when it cannot be had.
  DriverSelection ForPod(const std::string& pod);
  // A driver for each of `pods`, each traced to a file of its own; none, with
  // `error` saying why, when one cannot be had.
  std::optional<std::vector<GangPod>> ForEachPod(const std::vector<std::string>& pods,
                                                 std::string& error);
  // Brings every trace to its file. One cut short (a full disk) is said, and
  // a run that succeeded then fails as an output error.
  int CheckTraces(int exitCode) const;

 private:
  // A trace file of the run, kept so that the run can tell at its end whether
  // every frame reached it.
  struct RunTrace {
    std::filesystem::path path;
    std::shared_ptr<std::ostream> stream;
  };

  DriverSelection TracedTo(DriverSelection selection, const std::filesystem::path& path);

  Clock& clock_;
  std::string driverName_;
  EmulatorSetup emulator_;
  // --trace, else BRONTAFLEX_TRACE; empty for none.
  std::filesystem::path tracePath_;
  ExistingTrace existingTrace_ = ExistingTrace::Refuse;
  std::vector<RunTrace> traces_;
};
