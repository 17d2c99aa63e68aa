#include "image/IntelHexReader.h"

#include <array>
#include <cstdio>
#include <optional>

#include "image/HexDigits.h"
#include "image/LineReader.h"
#include "image/TextRecords.h"

namespace {

enum RecordType : uint8_t {
  kData = 0x00,
  kEndOfFile = 0x01,
  kExtendedSegment = 0x02,
  kStartSegment = 0x03,
  kExtendedLinear = 0x04,
  kStartLinear = 0x05,
};

// Count, two address bytes, type and checksum around the data.
constexpr size_t kFrameBytes = 5;

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

// What the frame of a data record of whole words tells, as nearly every
// record is.
struct WordRecord {
  uint32_t wordCount;
  uint16_t offset;    // added to the extended address
  uint32_t frameSum;  // of the frame's bytes before the checksum
};

// The frame of `line` when it is a data record of whole words with a length
// that fits; none for any other line, which DecodeRecord then takes apart.
std::optional<WordRecord> ReadWordRecordFrame(std::string_view line) {
  constexpr size_t kFrameDigits = 1 + 2 * kFrameBytes;  // with the ':'
  if (line.size() < kFrameDigits || line.front() != ':') {
    return std::nullopt;
  }
  const char* digits = line.data() + 1;
  const int dataBytes = HexByteValue(digits);
  const int offsetHigh = HexByteValue(digits + 2);
  const int offsetLow = HexByteValue(digits + 4);
  if (dataBytes < 0 || offsetHigh < 0 || offsetLow < 0 || HexByteValue(digits + 6) != kData ||
      dataBytes % 2 != 0 || line.size() != kFrameDigits + 2 * static_cast<size_t>(dataBytes)) {
    return std::nullopt;
  }
  return WordRecord{static_cast<uint32_t>(dataBytes) / 2,
                    static_cast<uint16_t>(offsetHigh << 8 | offsetLow),
                    static_cast<uint32_t>(dataBytes + offsetHigh + offsetLow)};
}

// Decodes the words of the record that `frame` was read from into `words`;
// false when a digit or the checksum is wrong.
bool DecodeWordRecord(std::string_view line, const WordRecord& frame, uint16_t* words) {
  const char* data = line.data() + 1 + 8;
  const int checksum = HexByteValue(data + 4 * frame.wordCount);
  uint32_t sum = frame.frameSum;
  return checksum >= 0 &&
         DecodeHexWordsHighFirst(data, frame.wordCount, words, sum) == frame.wordCount &&
         (sum + static_cast<uint32_t>(checksum)) % 256 == 0;
}

// Decodes the record's bytes after the ':'; empty `what` when well formed.
std::string DecodeRecord(std::string_view line, std::array<uint8_t, 260>& bytes, size_t& count) {
  if (line.empty() || line.front() != ':') {
    return "a record starts with ':'";
  }
  const std::string_view digits = line.substr(1);
  if (digits.size() % 2 != 0 || digits.size() / 2 < kFrameBytes ||
      digits.size() / 2 > bytes.size()) {
    return "a record has an even number of hexadecimal digits, 10 to 520";
  }
  count = digits.size() / 2;
  if (const size_t decoded = DecodeHexBytes(digits.data(), count, bytes.data()); decoded != count) {
    // Built by appending: GCC 12 warns wrongly about "'" + std::string here.
    return std::string("'").append(digits.substr(2 * decoded, 2)) + "' is not a hexadecimal byte";
  }
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) {
    sum = static_cast<uint8_t>(sum + bytes[i]);
  }
  if (bytes[0] + kFrameBytes != count) {
    return "the record announces " + std::to_string(bytes[0]) + " data bytes but holds " +
           std::to_string(count - kFrameBytes);
  }
  if (sum != 0) {
    const uint8_t given = bytes[count - 1];
    return "the checksum is " + Hex2(given) + " where the record needs " +
           Hex2(static_cast<uint8_t>(given - sum));
  }
  return {};
}

ProgramReadResult ParseIntelHex(LineReader& lines, RunPlacer& placer, std::string& detail) {
  std::array<uint8_t, 260> bytes;
  std::array<uint16_t, 128> words;
  uint64_t base = 0;  // word address that record addresses count from
  std::string_view line;
  for (;;) {
    const LineReader::Status status = lines.Next(line);
    if (status == LineReader::Status::End) {
      detail = LineDetail(lines, "the file ends without an end-of-file record");
      return ProgramReadResult::BadRecord;
    }
    if (status == LineReader::Status::TooLong) {
      detail = LineDetail(lines, "the line is too long for a record");
      return ProgramReadResult::BadRecord;
    }
    if (line.empty()) {
      continue;
    }
    if (const auto frame = ReadWordRecordFrame(line)) {
      // Records that carry on the run decode straight into the image. Should
      // a digit or the checksum then be wrong, DecodeRecord below reports it
      // and the read fails, so what went into the run no longer matters.
      const uint64_t address = base + frame->offset;
      uint16_t* into = placer.ContinueRun(address, frame->wordCount);
      if (DecodeWordRecord(line, *frame, into != nullptr ? into : words.data())) {
        std::string what;
        const ProgramReadResult placed =
            into != nullptr ? ProgramReadResult::Ok
                            : placer.Place(address, words.data(), frame->wordCount, what);
        if (placed != ProgramReadResult::Ok) {
          detail = what.empty() ? what : LineDetail(lines, what);
          return placed;
        }
        continue;
      }
    }
    size_t count = 0;
    if (std::string what = DecodeRecord(line, bytes, count); !what.empty()) {
      detail = LineDetail(lines, what);
      return ProgramReadResult::BadRecord;
    }
    const uint8_t dataBytes = bytes[0];
    const uint8_t* data = &bytes[4];
    switch (bytes[3]) {
      case kData:
        // Well formed, yet not words: ReadWordRecordFrame took all others.
        detail = LineDetail(lines, "the record holds an odd number of bytes, half a word");
        return ProgramReadResult::BadLayout;
      case kEndOfFile:
        return ProgramReadResult::Ok;
      case kExtendedSegment:
      case kExtendedLinear:
        if (dataBytes != 2) {
          detail = LineDetail(lines, "an extended address record holds two bytes");
          return ProgramReadResult::BadRecord;
        }
        base = uint64_t{uint32_t{data[0]} << 8 | data[1]} << (bytes[3] == kExtendedLinear ? 16 : 4);
        break;
      case kStartSegment:
      case kStartLinear:
        break;  // where the program starts: nothing to program
      default:
        detail = LineDetail(lines, "unknown record type " + Hex2(bytes[3]));
        return ProgramReadResult::BadRecord;
    }
  }
}

}  // namespace

ProgramRead ReadIntelHexStream(std::istream& in, McuType mcuType, ProgramImage& image) {
  return ReadTextRecords(in, mcuType, image, ParseIntelHex);
}
