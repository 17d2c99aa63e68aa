#include "image/TextRecords.h"

#include <algorithm>
#include <cstring>

#include "image/LineReader.h"
#include "image/ProgramImage.h"

namespace {

// Both text formats spell a byte in two digits, so a word takes at least
// four of the file's bytes: a bound on the words a file of this size holds.
uint64_t MostWordsIn(std::istream& in) {
  const std::streampos start = in.tellg();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(start);
  return end > start ? static_cast<uint64_t>(end - start) / 4 : 0;
}

}  // namespace

RunPlacer::RunPlacer(ProgramImage& image, McuType mcuType, uint64_t expectedWords)
    : image_(image), builder_(image, mcuType, expectedWords) {}

ProgramReadResult RunPlacer::Place(uint64_t address, const uint16_t* words, uint32_t count,
                                   std::string& detail) {
  if (count == 0) {
    return ProgramReadResult::Ok;
  }
  if (address + count > kC28xAddressWords) {
    const uint64_t beyond = std::max<uint64_t>(address, kC28xAddressWords);
    detail = "the address " +
             AddressName(static_cast<uint32_t>(std::min<uint64_t>(beyond, UINT32_MAX))) +
             " lies beyond the C28x's 22-bit memory";
    return ProgramReadResult::BadLayout;
  }
  const auto first = static_cast<uint32_t>(address);
  if (secondPass_) {
    Fill(first, words, count);
    return ProgramReadResult::Ok;
  }
  if (!outOfOrder_ && (!runEnd_ || first >= *runEnd_)) {
    // Above every word so far, so none of it can be given twice.
    return Append(first, words, count);
  }
  if (!outOfOrder_) {
    // It fills a gap left earlier: only a second pass can place it. From
    // here on every word is checked against all given before.
    outOfOrder_ = true;
    for (const auto& run : image_.sections) {
      covered_.Claim(run->address, run->wordCount);
    }
  }
  if (const auto twice = covered_.Claim(first, count)) {
    detail = "the word at " + AddressName(*twice) + " is given twice";
    return ProgramReadResult::BadLayout;
  }
  return ProgramReadResult::Ok;
}

ProgramReadResult RunPlacer::Append(uint32_t address, const uint16_t* words, uint32_t count) {
  if (address != runEnd_) {
    if (const ProgramReadResult opened = builder_.Open(AddressName(address), address);
        opened != ProgramReadResult::Ok) {
      return opened;
    }
  }
  uint16_t* into = builder_.Grow(count);
  if (into == nullptr) {
    return ProgramReadResult::ImageTooLarge;
  }
  std::memcpy(into, words, size_t{2} * count);
  runEnd_ = address + count;
  return ProgramReadResult::Ok;
}

ProgramReadResult RunPlacer::StartSecondPass() {
  builder_.Restart();
  ProgramReadResult result = ProgramReadResult::Ok;
  covered_.ForEachRun([&](uint32_t first, uint32_t count) {
    if (result == ProgramReadResult::Ok) {
      result = builder_.Open(AddressName(first), first);
    }
    if (result == ProgramReadResult::Ok && builder_.Grow(count) == nullptr) {
      result = ProgramReadResult::ImageTooLarge;
    }
  });
  secondPass_ = true;
  return result;
}

void RunPlacer::Fill(uint32_t address, const uint16_t* words, uint32_t count) {
  // The run holding the record: the last one starting at or below it.
  const auto& sections = image_.sections;
  const auto run = std::upper_bound(sections.begin(), sections.end(), address,
                                    [](uint32_t at, const auto& s) { return at < s->address; }) -
                   1;
  const uint32_t offset = (*run)->offset + 2 * (address - (*run)->address);
  std::memcpy(image_.WordsForWriting(offset, count), words, size_t{2} * count);
}

ProgramRead ReadTextRecords(std::istream& in, McuType mcuType, ProgramImage& image,
                            RecordParser parser) {
  ProgramRead read;
  RunPlacer placer(image, mcuType, MostWordsIn(in));
  {
    LineReader lines(in);
    read.result = parser(lines, placer, read.detail);
  }
  if (read.result == ProgramReadResult::Ok && placer.needsSecondPass()) {
    read.result = placer.StartSecondPass();
    if (read.result == ProgramReadResult::Ok) {
      in.clear();
      in.seekg(0);
      LineReader lines(in);
      read.result = parser(lines, placer, read.detail);
    }
  }
  if (read.result == ProgramReadResult::Ok) {
    placer.Finish();
  }
  return read;
}

std::string LineDetail(const LineReader& lines, const std::string& what) {
  return "line " + std::to_string(lines.lineNumber()) + ": " + what;
}
