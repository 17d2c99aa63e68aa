#include "image/TiTxtReader.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "image/HexDigits.h"
#include "image/LineReader.h"
#include "image/TextRecords.h"

namespace {

// A byte address, or none when the text is not 1 to 8 hexadecimal digits.
std::optional<uint64_t> ParseAddress(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      return std::nullopt;
    }
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

// The words of a file in the making: bytes pair up into words across lines,
// since nothing ties a word to one line.
class TxtParser {
 public:
  TxtParser(LineReader& lines, RunPlacer& placer, std::string& detail)
      : lines_(lines), placer_(placer), detail_(detail) {}

  ProgramReadResult Run() {
    std::string_view line;
    for (;;) {
      const LineReader::Status status = lines_.Next(line);
      if (status == LineReader::Status::End) {
        return Fail(ProgramReadResult::BadRecord, "the file ends without the closing 'q'");
      }
      if (status == LineReader::Status::TooLong) {
        return Fail(ProgramReadResult::BadRecord, "the line is too long");
      }
      if (line.empty()) {
        continue;
      }
      if (line == "q" || line == "Q") {
        return HalfWordLeft() ? Fail(ProgramReadResult::BadLayout, HalfWordText())
                              : ProgramReadResult::Ok;
      }
      const ProgramReadResult result =
          line.front() == '@' ? StartAt(line.substr(1)) : TakeBytes(line);
      if (result != ProgramReadResult::Ok) {
        return result;
      }
    }
  }

 private:
  ProgramReadResult Fail(ProgramReadResult result, const std::string& what) {
    detail_ = LineDetail(lines_, what);
    return result;
  }

  bool HalfWordLeft() const { return next_ && *next_ % 2 != 0; }
  std::string HalfWordText() const {
    return "the word at " +
           AddressName(static_cast<uint32_t>(std::min<uint64_t>(*next_ / 2, UINT32_MAX))) +
           " lacks its high byte";
  }

  ProgramReadResult StartAt(std::string_view digits) {
    const auto address = ParseAddress(digits);
    if (!address) {
      return Fail(ProgramReadResult::BadRecord, "an address is 1 to 8 hexadecimal digits");
    }
    // A half word may go on only where it stopped.
    if (HalfWordLeft() && *address != *next_) {
      return Fail(ProgramReadResult::BadLayout, HalfWordText());
    }
    if (!HalfWordLeft() && *address % 2 != 0) {
      return Fail(ProgramReadResult::BadLayout,
                  "the address is odd: the word there lacks its low byte");
    }
    next_ = *address;
    return ProgramReadResult::Ok;
  }

  ProgramReadResult TakeBytes(std::string_view line) {
    if (!next_) {
      return Fail(ProgramReadResult::BadRecord, "data before the first '@' address");
    }
    MakeRoom(line.size());
    // Pairs one space apart, as the tools write them, or else any blanks.
    size_t count = DecodeSpacedPairs(line, bytes_.data());
    if (count == kNotPairs) {
      count = GatherItems(line);
      if (!Decode(count)) {
        return Fail(ProgramReadResult::BadRecord, "data are hexadecimal byte pairs apart");
      }
    }
    // The words this line completes start with the one it is in.
    const uint64_t firstWord = *next_ / 2;
    const bool endsHalfWord = *next_ % 2 != 0 && count > 0;
    const auto wordCount = static_cast<uint32_t>((count + (endsHalfWord ? 1 : 0)) / 2);
    uint16_t* into = placer_.ContinueRun(firstWord, wordCount);
    PutWords(count, endsHalfWord, into != nullptr ? into : words_.data());
    *next_ += count;
    if (into != nullptr) {
      return ProgramReadResult::Ok;
    }
    std::string what;
    const ProgramReadResult placed = placer_.Place(firstWord, words_.data(), wordCount, what);
    if (placed != ProgramReadResult::Ok) {
      detail_ = what.empty() ? what : LineDetail(lines_, what);
    }
    return placed;
  }

  // Puts the words that the line's `count` bytes complete into `words`,
  // beginning with the one whose low byte an earlier line gave when
  // `endsHalfWord`, and keeps a last byte left over as the next low byte.
  void PutWords(size_t count, bool endsHalfWord, uint16_t* words) {
    size_t i = 0;
    if (endsHalfWord) {
      *words++ = static_cast<uint16_t>(bytes_[i++] << 8 | low_);
    }
    const size_t whole = (count - i) / 2;
    if constexpr (std::endian::native == std::endian::little) {
      // Low byte first is how this machine keeps its words already.
      std::memcpy(words, &bytes_[i], 2 * whole);
    } else {
      for (size_t k = 0; k < whole; ++k) {
        words[k] = static_cast<uint16_t>(bytes_[i + 2 * k + 1] << 8 | bytes_[i + 2 * k]);
      }
    }
    i += 2 * whole;
    if (i < count) {
      low_ = bytes_[i];
    }
  }

  static constexpr size_t kNotPairs = kNotSpacedPairs;

  // Room in the buffers below for what a line of `length` characters spells.
  void MakeRoom(size_t length) {
    if (digits_.size() < length) {
      digits_.resize(length);
      bytes_.resize(length / 2 + 1);
      words_.resize(length / 4 + 2);
    }
  }

  // Gathers the digits of a line of two-character items, each followed by
  // blanks or the line's end, back to back into digits_; returns how many,
  // or kNotPairs for a line of any other layout. The digits are still to be
  // checked.
  size_t GatherItems(std::string_view line) {
    const auto isGap = [](char c) { return c == ' ' || c == '\t'; };
    size_t count = 0;
    for (size_t at = 0; at < line.size();) {
      if (isGap(line[at])) {
        ++at;
        continue;
      }
      if (at + 1 == line.size() || (at + 2 < line.size() && !isGap(line[at + 2]))) {
        return kNotPairs;
      }
      std::memcpy(&digits_[2 * count++], &line[at], 2);
      at += 2;
    }
    return count;
  }

  // Decodes the gathered digits into bytes_; false when one is not a digit.
  bool Decode(size_t count) {
    return count != kNotPairs && DecodeHexBytes(digits_.data(), count, bytes_.data()) == count;
  }

  LineReader& lines_;
  RunPlacer& placer_;
  std::string& detail_;
  std::optional<uint64_t> next_;  // byte address of the next byte; none before the first '@'
  uint8_t low_ = 0;               // the low byte of the word at next_ - 1, when next_ is odd
  // A line's digits, the bytes they spell and the words those complete, with
  // room for the longest line so far.
  std::vector<char> digits_;
  std::vector<uint8_t> bytes_;
  std::vector<uint16_t> words_;
};

ProgramReadResult ParseTiTxt(LineReader& lines, RunPlacer& placer, std::string& detail) {
  return TxtParser(lines, placer, detail).Run();
}

}  // namespace

ProgramRead ReadTiTxtStream(std::istream& in, McuType mcuType, ProgramImage& image) {
  return ReadTextRecords(in, mcuType, image, ParseTiTxt);
}
