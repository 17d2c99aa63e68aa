// One operation on several PODs at once: a thread for each POD with its own
// driver, link and messages, while the calling thread alone prints what each
// POD shows, labelled with its name, and then the table of how each ended.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/PodRun.h"
#include "cli/RunReport.h"
#include "cli/TerminalUi.h"
#include "pod/PortDriver.h"

// One POD of the run: its name as chosen (serial number or port) and a driver
// that no other thread uses.
struct GangPod {
  std::string name;
  std::unique_ptr<PortDriver> driver;
};

struct GangOutput {
  std::ostream& out;  // progress and the table
  std::ostream& err;  // errors, as plain lines
  // A terminal: one line per POD redrawn in place, which normal verbosity
  // only gets; otherwise whole lines, each behind its POD's name.
  bool tty = false;
  Verbosity verbosity = Verbosity::Normal;
  // Whether the user asked every POD to stop.
  std::function<bool()> stopAsked;
};

// Runs one POD's share of the run on the TerminalUi given, from its own thread.
using GangPodRun = std::function<RunReport(GangPod& pod, TerminalUi& ui)>;

// Runs `run` for every POD of `pods` at once and returns their reports in
// the same order, once all have ended. A failure on one never stops the others.
std::vector<RunReport> RunOnEveryPod(std::vector<GangPod>& pods, const GangPodRun& run,
                                     const GangOutput& output);

// 0 when every POD succeeded, else SomePodsFailed's number.
int GangExitCode(const std::vector<RunReport>& reports);

// The table of how each POD ended: POD, the number --serial wrote (in a run
// that numbered its targets), outcome (the POD's own exit status and its
// name), message, cause and seconds, one line each under a heading.
std::string GangTable(const std::vector<RunReport>& reports);

// How a run on several PODs ended: the run's outcome name and exit status,
// how long it took, and each POD's report; no reports when it ended before
// any POD was used (a file that cannot be read).
struct GangResult {
  std::string outcome;
  int exitCode = 0;
  uint64_t durationMs = 0;
  std::vector<RunReport> reports;
};

// The run's one object: the command, outcome, exit status, duration, and the
// PODs' own objects in "pods".
nlohmann::ordered_json GangJson(std::string_view command, const GangResult& result);

// Runs `job` on every POD of `pods` at once: reads its file once for all of
// them, shows each POD's progress on `output`, then the table of how each ended.
// With `job.serial`, each POD writes a copy of the file with a number of its own.
GangResult RunGang(const PodJob& job, std::vector<GangPod> pods, const GangOutput& output);
