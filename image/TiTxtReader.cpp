#include "image/TiTxtReader.h"

#include <optional>
#include <vector>

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

  CoffReadResult Run() {
    std::string_view line;
    for (;;) {
      const LineReader::Status status = lines_.Next(line);
      if (status == LineReader::Status::End) {
        return Fail(CoffReadResult::BadRecord, "the file ends without the closing 'q'");
      }
      if (status == LineReader::Status::TooLong) {
        return Fail(CoffReadResult::BadRecord, "the line is too long");
      }
      if (line.empty()) {
        continue;
      }
      if (line == "q" || line == "Q") {
        return HalfWordLeft() ? Fail(CoffReadResult::BadLayout, HalfWordText())
                              : CoffReadResult::Ok;
      }
      const CoffReadResult result = line.front() == '@' ? StartAt(line.substr(1)) : TakeBytes(line);
      if (result != CoffReadResult::Ok) {
        return result;
      }
    }
  }

 private:
  CoffReadResult Fail(CoffReadResult result, const std::string& what) {
    detail_ = LineDetail(lines_, what);
    return result;
  }

  bool HalfWordLeft() const { return next_ && *next_ % 2 != 0; }
  std::string HalfWordText() const {
    return "the word at " +
           AddressName(static_cast<uint32_t>(std::min<uint64_t>(*next_ / 2, UINT32_MAX))) +
           " lacks its high byte";
  }

  CoffReadResult StartAt(std::string_view digits) {
    const auto address = ParseAddress(digits);
    if (!address) {
      return Fail(CoffReadResult::BadRecord, "an address is 1 to 8 hexadecimal digits");
    }
    // A half word may go on only where it stopped.
    if (HalfWordLeft() && *address != *next_) {
      return Fail(CoffReadResult::BadLayout, HalfWordText());
    }
    if (!HalfWordLeft() && *address % 2 != 0) {
      return Fail(CoffReadResult::BadLayout,
                  "the address is odd: the word there lacks its low byte");
    }
    next_ = *address;
    return CoffReadResult::Ok;
  }

  CoffReadResult TakeBytes(std::string_view line) {
    if (!next_) {
      return Fail(CoffReadResult::BadRecord, "data before the first '@' address");
    }
    words_.clear();
    // The words this line completes start with the one it is in.
    const uint64_t firstWord = *next_ / 2;
    size_t at = 0;
    while (at < line.size()) {
      if (line[at] == ' ' || line[at] == '\t') {
        ++at;
        continue;
      }
      const bool pair = at + 1 < line.size() &&
                        (at + 2 == line.size() || line[at + 2] == ' ' || line[at + 2] == '\t');
      const int byte = pair ? HexByteValue(&line[at]) : -1;
      if (byte < 0) {
        return Fail(CoffReadResult::BadRecord, "data are hexadecimal byte pairs apart");
      }
      at += 2;
      if (*next_ % 2 == 0) {
        low_ = static_cast<uint8_t>(byte);
      } else {
        words_.push_back(static_cast<uint16_t>(byte << 8 | low_));
      }
      ++*next_;
    }
    std::string what;
    const CoffReadResult placed =
        placer_.Place(firstWord, words_.data(), static_cast<uint32_t>(words_.size()), what);
    if (placed != CoffReadResult::Ok) {
      detail_ = what.empty() ? what : LineDetail(lines_, what);
    }
    return placed;
  }

  LineReader& lines_;
  RunPlacer& placer_;
  std::string& detail_;
  std::optional<uint64_t> next_;  // byte address of the next byte; none before the first '@'
  uint8_t low_ = 0;               // the low byte of the word at next_ - 1, when next_ is odd
  std::vector<uint16_t> words_;
};

CoffReadResult ParseTiTxt(LineReader& lines, RunPlacer& placer, std::string& detail) {
  return TxtParser(lines, placer, detail).Run();
}

}  // namespace

ProgramRead ReadTiTxtStream(std::istream& in, uint8_t mcuType, ProgramImage& image) {
  return ReadTextRecords(in, mcuType, image, ParseTiTxt);
}
