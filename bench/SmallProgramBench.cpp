// Reading a small program, 512 words at the start of flash, in each format
// into a fresh image, as a load does: the image must cost what the program
// holds, not what the C28x's whole memory would.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/FileBytes.h"
#include "image/ProgramImage.h"
#include "image/ProgramReader.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ProgramWriters.h"

namespace {

enum class Format { Coff, Elf, IntelHex, TiTxt };

constexpr uint32_t kFlashStart = 0x3E8000;
constexpr uint32_t kWords = 512;

std::vector<uint16_t> SomeWords() {
  std::vector<uint16_t> words(kWords);
  for (size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<uint16_t>(i * 7);
  }
  return words;
}

const TempFile& SmallProgram(Format format) {
  static const TempFile coff(CoffWriter().Add(".text", kFlashStart, SomeWords()).Build());
  static const TempFile elf(ElfFile({{kFlashStart, SomeWords(), ".text"}}));
  static const TempFile hex(BytesOf(IntelHexText({{kFlashStart, SomeWords()}})), ".hex");
  static const TempFile txt(BytesOf(TiTxtText({{kFlashStart, SomeWords()}})), ".txt");
  switch (format) {
    case Format::Coff:
      return coff;
    case Format::Elf:
      return elf;
    case Format::IntelHex:
      return hex;
    case Format::TiTxt:
      break;
  }
  return txt;
}

void ReadSmallProgram(benchmark::State& state, Format format) {
  const TempFile& file = SmallProgram(format);
  MeasureReads(state, file.path(), [&] {
    auto image = std::make_unique<ProgramImage>();
    const ProgramRead read = ReadProgramFile(file.path(), kF2809, *image);
    benchmark::DoNotOptimize(image->imageBytes());
    return read.result == ProgramReadResult::Ok && image->imageBytes() == 2 * kWords;
  });
}
BENCHMARK_CAPTURE(ReadSmallProgram, Coff, Format::Coff)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadSmallProgram, Elf, Format::Elf)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadSmallProgram, IntelHex, Format::IntelHex)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadSmallProgram, TiTxt, Format::TiTxt)->Apply(Repeated);

}  // namespace
