// A Target Write of a full F2809 (131,072 flash words) on the emulated POD with
// its model of time on the wire.
//
// Modelled: the clock is fake and moves only as the line, the POD and the
// link's own waits take time; the run's modelled length is set against the
// least any host could need for the same frames: every byte on the line both
// ways plus the POD's work on each command it answers (data words are handled
// while the next ones are still on the line, so they add nothing): `ratio`.
// The bridge also holds every reply for its latency timer (1 ms, the least it
// can be set to), which no host can avoid when it waits for each reply before
// the next command: `ratio_with_latency` sets the run against that minimum.
//
// RealTime: the same run on the system clock, the emulator keeping the pace of
// a real line; the process's CPU time against the wall time shows whether the
// programmer rests while it waits for the wire.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "bench/FullF2809.h"
#include "emulator/EmulatorDriver.h"
#include "image/CoffReader.h"
#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "pod/TargetProgrammer.h"
#include "tests/support/FakeClock.h"

namespace {

// Null if it cannot be read.
const ProgramImage* FullF2809Image() {
  static const std::unique_ptr<ProgramImage> image = [] {
    const std::vector<uint8_t> bytes = FullF2809Coff();
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    auto loaded = std::make_unique<ProgramImage>();
    if (ReadCoffStream(in, kF2809, *loaded) != ProgramReadResult::Ok) {
      return std::unique_ptr<ProgramImage>();
    }
    return loaded;
  }();
  return image.get();
}

EmulatorConfig TimedF2809() {
  EmulatorConfig config;
  config.pod.targetMcuType = kF2809;
  config.timing.enabled = true;
  return config;
}

// The POD's work on one answered frame, as the timing model charges it.
uint64_t CommandWorkUs(std::string_view frame, const WireTiming& timing) {
  const std::string_view body = frame.substr(1, frame.size() - 2);
  const auto field = [body](size_t at, size_t digits) {
    return static_cast<uint32_t>(std::stoul(std::string(body.substr(at, digits)), nullptr, 16));
  };
  uint64_t work = timing.frameUs;
  switch (body[0]) {
    case 'N':
    case 'M':
      return work + timing.bootStartUs;
    case 'K':
      return work + timing.algorithmLoadUs;
    case 'R':
      return work + timing.resetUs;
    case 'O':
      switch (field(1, 2)) {
        case 0:
          return work + timing.prepareUs;
        case 1:
          return work + uint64_t{timing.sectorEraseUs} * std::popcount(field(3, 4));
        default:
          return work + uint64_t{timing.programWordUs} * field(9, 4);
      }
    default:
      return work;
  }
}

struct WireMinimum {
  double seconds;    // the line both ways and the POD's work
  uint32_t replies;  // each one held back by the bridge's latency timer
};

// The least time the session's frames can take.
WireMinimum WireMinimumOf(const std::vector<TranscriptEntry>& transcript,
                          const WireTiming& timing) {
  uint64_t lineBytes = 0;
  uint64_t workUs = 0;
  uint32_t replies = 0;
  for (const TranscriptEntry& entry : transcript) {
    lineBytes += entry.frame.size() + entry.reply.size();
    if (!entry.reply.empty()) {
      workUs += CommandWorkUs(entry.frame, timing);
      ++replies;
    }
  }
  const double ns = static_cast<double>(lineBytes) * static_cast<double>(timing.ByteNs()) +
                    static_cast<double>(workUs) * 1e3;
  return {ns / 1e9, replies};
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the Target Write on `driver`, a fresh emulated F2809; true when it finished.
bool WriteOnce(Clock& clock, EmulatorDriver& driver) {
  const ProgramImage* image = FullF2809Image();
  PodLink link(driver, clock);
  if (image == nullptr || !link.LoadDriver() || !link.Find() ||
      PodCommands::OpenPod(link) != OpenStatus::Ok) {
    return false;
  }
  PodCommands commands(link, {kF2809, kErasedCsmKeys});
  NullReporter reporter;
  TargetProgrammer programmer(commands, *image, kF2809, reporter);
  const TargetWriteResult result = programmer.ProgramTarget(true, false, false);
  link.Close();
  return result == TargetWriteResult::Finished;
}

void ModelledF2809Write(benchmark::State& state) {
  for (auto _ : state) {
    FakeClock clock;
    EmulatorDriver driver(clock, TimedF2809());
    const uint32_t start = clock.NowMs();
    if (!WriteOnce(clock, driver)) {
      state.SkipWithError("the write failed");
      break;
    }
    const double modelled = (clock.NowMs() - start) / 1e3;
    const WireMinimum minimum = WireMinimumOf(driver.Transcript(), TimedF2809().timing);
    const double withLatency = minimum.seconds + minimum.replies * driver.Line().latencyMs / 1e3;
    state.counters["modelled_s"] = modelled;
    state.counters["wire_minimum_s"] = minimum.seconds;
    state.counters["ratio"] = modelled / minimum.seconds;
    state.counters["with_latency_s"] = withLatency;
    state.counters["ratio_with_latency"] = modelled / withLatency;
  }
}
BENCHMARK(ModelledF2809Write)->Unit(benchmark::kMillisecond)->Iterations(1);

void RealTimeF2809Write(benchmark::State& state) {
  for (auto _ : state) {
    SystemClock clock;
    EmulatorConfig config = TimedF2809();
    config.pod.keepTranscript = false;
    EmulatorDriver driver(clock, config);
    const double cpuStart = ProcessCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    if (!WriteOnce(clock, driver)) {
      state.SkipWithError("the write failed");
      break;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_percent"] = 100 * cpu / wall;
  }
}
BENCHMARK(RealTimeF2809Write)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
