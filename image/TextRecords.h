// What the text formats (Intel HEX, TI-TXT) share: their words arrive record
// by record in file order, and each contiguous run of words becomes one
// section, named after its address, in address order.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

#include "image/CoveredWords.h"
#include "image/ImageBuilder.h"
#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"

class LineReader;

// Takes the words of one record at a time. Records in rising address order,
// as the tools write them, go straight into the image; records out of order
// are only checked, and a second pass over the file puts them in their place
// once every run is known.
class RunPlacer {
 public:
  // `expectedWords` as for ImageBuilder.
  RunPlacer(ProgramImage& image, McuType mcuType, uint64_t expectedWords);

  // `count` words starting at word address `address`. BadLayout (with
  // `detail`) for a word given twice or beyond the C28x's memory.
  ProgramReadResult Place(uint64_t address, const uint16_t* words, uint32_t count,
                          std::string& detail);

  // Where the `count` words at `address` go when they carry straight on from
  // the record before, as nearly all do: the caller writes them there, with
  // no copy and no call. Null for any other record, which goes to Place.
  uint16_t* ContinueRun(uint64_t address, uint32_t count) {
    if (outOfOrder_ || !runEnd_ || address != *runEnd_ || address + count > kC28xAddressWords) {
      return nullptr;
    }
    uint16_t* into = builder_.Grow(count);
    if (into != nullptr) {
      *runEnd_ += count;
    }
    return into;
  }

  bool needsSecondPass() const { return outOfOrder_ && !secondPass_; }
  // Lays the runs out in address order, empty, for the second pass.
  ProgramReadResult StartSecondPass();
  void Finish() { builder_.Finish(); }

 private:
  ProgramReadResult Append(uint32_t address, const uint16_t* words, uint32_t count);
  void Fill(uint32_t address, const uint16_t* words, uint32_t count);

  ProgramImage& image_;
  ImageBuilder builder_;
  CoveredWords covered_;
  std::optional<uint32_t> runEnd_;  // one past the last word placed, in file order
  bool outOfOrder_ = false;
  bool secondPass_ = false;
};

// Reads all of a text format's records from the stream into a RunPlacer;
// `detail` names the line of a failure.
using RecordParser = ProgramReadResult (*)(LineReader& lines, RunPlacer& placer,
                                           std::string& detail);

// Runs `parser` over the stream, twice when the records are out of order,
// and finishes the image. The image must be cleared.
ProgramRead ReadTextRecords(std::istream& in, McuType mcuType, ProgramImage& image,
                            RecordParser parser);

// "line 12: " + what, the start of every detail about a line.
std::string LineDetail(const LineReader& lines, const std::string& what);
