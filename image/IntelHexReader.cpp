#include "image/IntelHexReader.h"

#include <array>
#include <cstdio>

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

// The words that `count` byte pairs spell, high byte first as the file has them.
void TakeWords(const uint8_t* data, uint32_t count, uint16_t* words) {
  for (uint32_t i = 0; i < count; ++i) {
    words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  }
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

CoffReadResult ParseIntelHex(LineReader& lines, RunPlacer& placer, std::string& detail) {
  std::array<uint8_t, 260> bytes;
  std::array<uint16_t, 128> words;
  uint64_t base = 0;  // word address that record addresses count from
  std::string_view line;
  for (;;) {
    const LineReader::Status status = lines.Next(line);
    if (status == LineReader::Status::End) {
      detail = LineDetail(lines, "the file ends without an end-of-file record");
      return CoffReadResult::BadRecord;
    }
    if (status == LineReader::Status::TooLong) {
      detail = LineDetail(lines, "the line is too long for a record");
      return CoffReadResult::BadRecord;
    }
    if (line.empty()) {
      continue;
    }
    size_t count = 0;
    if (std::string what = DecodeRecord(line, bytes, count); !what.empty()) {
      detail = LineDetail(lines, what);
      return CoffReadResult::BadRecord;
    }
    const uint8_t dataBytes = bytes[0];
    const uint8_t* data = &bytes[4];
    switch (bytes[3]) {
      case kData: {
        if (dataBytes % 2 != 0) {
          detail = LineDetail(lines, "the record holds an odd number of bytes, half a word");
          return CoffReadResult::BadLayout;
        }
        const uint32_t wordCount = dataBytes / 2;
        const uint64_t address = base + (uint32_t{bytes[1]} << 8 | bytes[2]);
        if (uint16_t* into = placer.ContinueRun(address, wordCount)) {
          TakeWords(data, wordCount, into);
          break;
        }
        TakeWords(data, wordCount, words.data());
        std::string what;
        if (const CoffReadResult placed = placer.Place(address, words.data(), wordCount, what);
            placed != CoffReadResult::Ok) {
          detail = what.empty() ? what : LineDetail(lines, what);
          return placed;
        }
        break;
      }
      case kEndOfFile:
        return CoffReadResult::Ok;
      case kExtendedSegment:
      case kExtendedLinear:
        if (dataBytes != 2) {
          detail = LineDetail(lines, "an extended address record holds two bytes");
          return CoffReadResult::BadRecord;
        }
        base = uint64_t{uint32_t{data[0]} << 8 | data[1]} << (bytes[3] == kExtendedLinear ? 16 : 4);
        break;
      case kStartSegment:
      case kStartLinear:
        break;  // where the program starts: nothing to program
      default:
        detail = LineDetail(lines, "unknown record type " + Hex2(bytes[3]));
        return CoffReadResult::BadRecord;
    }
  }
}

}  // namespace

ProgramRead ReadIntelHexStream(std::istream& in, uint8_t mcuType, ProgramImage& image) {
  return ReadTextRecords(in, mcuType, image, ParseIntelHex);
}
