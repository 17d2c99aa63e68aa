// What every reader benchmark measures, and their yardstick: reading a
// file's bytes into memory.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench/HeapPeak.h"

// Runs `read()` (true when the read succeeded) once per iteration, and
// reports the file's bytes per second and "heap_peak", the most heap memory
// one read held at once beyond what was held before it.
template <typename Read>
void MeasureReads(benchmark::State& state, const std::filesystem::path& path, Read read) {
  size_t heapPeak = 0;
  for (auto _ : state) {
    heap_peak::Reset();
    if (!read()) {
      state.SkipWithError("read failed");
      break;
    }
    heapPeak = std::max(heapPeak, heap_peak::BytesSinceReset());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
  state.counters["heap_peak"] = benchmark::Counter(
      static_cast<double>(heapPeak), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
}

inline void ReadFileBytes(benchmark::State& state, const std::filesystem::path& path) {
  const auto size = std::filesystem::file_size(path);
  MeasureReads(state, path, [&] {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(size);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    benchmark::DoNotOptimize(bytes.data());
    return static_cast<bool>(in);
  });
}

// Enough runs of each benchmark to see through a loaded machine: their
// median and their best.
inline void Repeated(benchmark::internal::Benchmark* benchmark) {
  benchmark->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("min", [](const std::vector<double>& runs) {
        return *std::min_element(runs.begin(), runs.end());
      });
}
