// Reading a program that fills the whole image buffer, against reading the
// same file's bytes into memory: what the COFF reader costs beyond the I/O.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/FileBytes.h"
#include "image/CoffReader.h"
#include "image/ProgramImage.h"
#include "tests/support/CoffWriter.h"

namespace {

// 320 sections of 13,107 words: 4,194,240 words, 64 short of the buffer.
constexpr int kSections = 320;
constexpr uint32_t kWordsPerSection = 13'107;

const TempFile& MaximalProgram() {
  static const TempFile file = [] {
    CoffWriter writer;
    for (int i = 0; i < kSections; ++i) {
      std::vector<uint16_t> words(kWordsPerSection, static_cast<uint16_t>(i));
      const uint32_t address = 0x3D8000 + static_cast<uint32_t>(i) * 0x100;
      writer.Add("section_number_" + std::to_string(i), address, std::move(words));
    }
    return TempFile(writer.Build());
  }();
  return file;
}

void ReadCoff(benchmark::State& state) {
  const TempFile& file = MaximalProgram();
  MeasureReads(state, file.path(), [&] {
    // A fresh image per read, as each load makes one.
    auto image = std::make_unique<ProgramImage>();
    const ProgramReadResult read = ReadCoffFile(file.path(), 4, *image);
    image->Summarize();
    benchmark::DoNotOptimize(image->imageBytes);
    return read == ProgramReadResult::Ok;
  });
}
BENCHMARK(ReadCoff)->Apply(Repeated);

void ReadCoffFileBytes(benchmark::State& state) {
  ReadFileBytes(state, MaximalProgram().path());
}
BENCHMARK(ReadCoffFileBytes)->Apply(Repeated);

}  // namespace

BENCHMARK_MAIN();
