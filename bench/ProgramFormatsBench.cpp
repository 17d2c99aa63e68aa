// Reading a program that fills all of the C28x's memory, 8 MiB of words, as
// TI ELF, Intel HEX and TI-TXT, each against reading the same file's bytes
// into memory: what each reader costs beyond the I/O.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/FileBytes.h"
#include "image/ImageBuilder.h"
#include "image/ProgramImage.h"
#include "image/ProgramReader.h"
#include "tests/support/CoffWriter.h"
#include "tests/support/ProgramWriters.h"

namespace {

enum class Format { Elf, IntelHex, TiTxt };

std::vector<uint16_t> EveryWord() {
  std::vector<uint16_t> words(kC28xAddressWords);
  for (size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<uint16_t>(i * 7);
  }
  return words;
}

const TempFile& MaximalProgram(Format format) {
  static const TempFile elf(ElfFile({{0, EveryWord(), ".text"}}));
  static const TempFile hex(BytesOf(IntelHexText({{0, EveryWord()}})), ".hex");
  static const TempFile txt(BytesOf(TiTxtText({{0, EveryWord()}})), ".txt");
  return format == Format::Elf ? elf : format == Format::IntelHex ? hex : txt;
}

void ReadProgram(benchmark::State& state, Format format) {
  const TempFile& file = MaximalProgram(format);
  MeasureReads(state, file.path(), [&] {
    // A fresh image per read, as each load makes one.
    auto image = std::make_unique<ProgramImage>();
    const ProgramRead read = ReadProgramFile(file.path(), kF2809, *image);
    benchmark::DoNotOptimize(image->imageBytes());
    return read.result == ProgramReadResult::Ok &&
           image->imageBytes() == ProgramImage::kBufferBytes;
  });
}
BENCHMARK_CAPTURE(ReadProgram, Elf, Format::Elf)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadProgram, IntelHex, Format::IntelHex)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadProgram, TiTxt, Format::TiTxt)->Apply(Repeated);

void ReadBytesOf(benchmark::State& state, Format format) {
  ReadFileBytes(state, MaximalProgram(format).path());
}
BENCHMARK_CAPTURE(ReadBytesOf, Elf, Format::Elf)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadBytesOf, IntelHex, Format::IntelHex)->Apply(Repeated);
BENCHMARK_CAPTURE(ReadBytesOf, TiTxt, Format::TiTxt)->Apply(Repeated);

}  // namespace
