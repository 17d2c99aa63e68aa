// Reading a program that fills the whole image buffer, against reading the
// same file's bytes into memory: what the COFF reader costs beyond the I/O.
// And two small files whose headers declare the whole buffer, as a fuzzer's
// mutations do: one refused by its headers, which must cost no more than
// they do, and one whose section runs far past the end of the file, which
// holds its erased words once, in room made once.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/FileBytes.h"
#include "image/CoffReader.h"
#include "image/McuCatalogue.h"
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
    const ProgramReadResult read = ReadCoffFile(file.path(), kF2809, *image);
    benchmark::DoNotOptimize(image->imageBytes());
    return read == ProgramReadResult::Ok;
  });
}
BENCHMARK(ReadCoff)->Apply(Repeated);

// A section declaring the whole buffer with 16 words of data in the file;
// `refused` adds a second whose raw data lies out of reach.
const TempFile& DeclaredBeyondTheFile(bool refused) {
  auto build = [](bool withUnreachable) {
    CoffWriter writer;
    writer.Add(CoffSection{.name = ".text",
                           .address = 0x3D8000,
                           .words = std::vector<uint16_t>(16, 0x4242),
                           .wordCount = ProgramImage::kBufferWords - 1});
    if (withUnreachable) {
      writer.Add(CoffSection{
          .name = ".econst", .address = 0x3F0000, .words = {1}, .rawDataAt = 0x80000000});
    }
    return TempFile(writer.Build());
  };
  static const TempFile readable(build(false));
  static const TempFile unreachable(build(true));
  return refused ? unreachable : readable;
}

void ReadCoffDeclaredBeyondTheFile(benchmark::State& state, bool refused) {
  const TempFile& file = DeclaredBeyondTheFile(refused);
  MeasureReads(state, file.path(), [&] {
    auto image = std::make_unique<ProgramImage>();
    const ProgramReadResult read = ReadCoffFile(file.path(), kF2809, *image);
    benchmark::DoNotOptimize(image->imageBytes());
    return read == (refused ? ProgramReadResult::FileError : ProgramReadResult::Ok);
  });
}
BENCHMARK_CAPTURE(ReadCoffDeclaredBeyondTheFile, Short, false)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadCoffDeclaredBeyondTheFile, RefusedByHeaders, true)->Apply(Repeated);

void ReadCoffFileBytes(benchmark::State& state) {
  ReadFileBytes(state, MaximalProgram().path());
}
BENCHMARK(ReadCoffFileBytes)->Apply(Repeated);

}  // namespace

BENCHMARK_MAIN();
