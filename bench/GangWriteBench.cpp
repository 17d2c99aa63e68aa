// A full F2809 Target Write on 1, 4 and 8 emulated PODs at once, each keeping
// the pace of a real line, as `brontaflex-cli target-write --pod ... --pod ...`
// runs it. The goal: eight PODs take no more than 1.05 times as long as one,
// and the programmer uses under a tenth of one core.
//
// wall_s is the whole run, the file read included. cpu_s and
// cpu_percent_of_core are the process's CPU time (getrusage), which here
// includes the emulated PODs' own work: an upper bound on the programmer's.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <ostream>
#include <streambuf>

#include "bench/FullF2809.h"
#include "cli/GangRun.h"
#include "emulator/EmulatorDriver.h"
#include "tests/support/CoffWriter.h"

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Where the progress lines go: nowhere, as into a pipe nobody reads.
class NullBuffer final : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

void GangF2809Write(benchmark::State& state) {
  const TempFile file(FullF2809Coff());
  const auto podCount = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    SystemClock clock;
    std::vector<GangPod> pods;
    for (size_t pod = 0; pod < podCount; ++pod) {
      EmulatorConfig config;
      config.pod.targetMcuType = kF2809;
      config.pod.keepTranscript = false;
      config.timing.enabled = true;
      config.serialNumbers = {"BFX" + std::to_string(10001 + pod)};
      pods.push_back(
          {config.serialNumbers.front(), std::make_unique<EmulatorDriver>(clock, config)});
    }
    OperationRequest request;
    request.filePath = file.path().string();
    request.mcuType = kF2809;
    const PodOperation operation = [](ProgrammerOperations& operations, const OperationRequest& r) {
      return operations.TargetWrite(r);
    };
    NullBuffer nowhere;
    std::ostream out(&nowhere);
    const double cpuStart = ProcessCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    const GangResult result = RunGang({"target-write", request, operation, clock}, std::move(pods),
                                      {out, out, false, Verbosity::Normal, {}});
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    if (result.exitCode != 0) {
      state.SkipWithError("a POD failed");
      break;
    }
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_percent_of_core"] = 100 * cpu / wall;
  }
}
BENCHMARK(GangF2809Write)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
