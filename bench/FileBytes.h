// The yardstick of the reader benchmarks: reading a file's bytes into memory.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

inline void ReadFileBytes(benchmark::State& state, const std::filesystem::path& path) {
  const auto size = std::filesystem::file_size(path);
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(size);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}
