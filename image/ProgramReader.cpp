#include "image/ProgramReader.h"

#include <algorithm>
#include <array>
#include <new>
#include <sstream>

#include "image/CoffReader.h"
#include "image/ElfReader.h"
#include "image/HexDigits.h"
#include "image/IntelHexReader.h"
#include "image/LineReader.h"
#include "image/ProgramFile.h"
#include "image/ProgramImage.h"
#include "image/Sha256.h"
#include "image/TiTxtReader.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// The first (or, from the end, last) character that is not white space
// within `bytes`, or 0 when there is none.
template <typename It>
char FirstPrinted(It begin, It end) {
  const It found = std::find_if_not(begin, end, IsSpace);
  return found == end ? '\0' : *found;
}

// Up to `count` bytes from `position`, as many as there are.
std::string ReadSome(std::istream& in, std::streamoff position, size_t count) {
  std::string bytes(count, '\0');
  in.clear();
  in.seekg(position);
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  in.clear();
  return bytes;
}

// What stands at `path` when it is no regular file, which no reader opens: a
// device or a FIFO would never end or never begin.
std::string NoFileDetail(const std::filesystem::path& path) {
  std::error_code error;
  switch (std::filesystem::status(path, error).type()) {
    case std::filesystem::file_type::directory:
      return "a directory";
    case std::filesystem::file_type::fifo:
      return "a FIFO";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
      return "a device";
    case std::filesystem::file_type::socket:
      return "a socket";
    default:
      return {};
  }
}

// Opens `path` for a reader, saying what it is when it is no file.
ProgramRead OpenForReading(const std::filesystem::path& path, std::ifstream& in,
                           ProgramImage& image) {
  image.allocationError.clear();
  const ProgramReadResult opened = OpenProgramFile(path, in, image);
  return {ProgramFormat::Unknown, opened,
          opened == ProgramReadResult::OpenFailed ? NoFileDetail(path) : std::string()};
}

}  // namespace

ProgramFormat DetectFormat(std::istream& in) {
  // Enough to see past a few blank lines to the first record.
  constexpr size_t kLook = 256;
  const std::string head = ReadSome(in, 0, kLook);
  const auto byte = [&](size_t i) { return i < head.size() ? static_cast<uint8_t>(head[i]) : 0; };
  if (head.starts_with("\x7F"
                       "ELF")) {
    return ProgramFormat::Elf;
  }
  const uint16_t magic = static_cast<uint16_t>(byte(0) | byte(1) << 8);
  if (head.size() >= 2 && (magic == 0x009D || magic == 0x00C1 || magic == 0x00C2)) {
    return ProgramFormat::Coff;
  }
  const char first = FirstPrinted(head.begin(), head.end());
  if (first == ':') {
    return ProgramFormat::IntelHex;
  }
  if (first == '@') {
    return ProgramFormat::TiTxt;
  }
  if (HexDigitValue(first) >= 0) {
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - std::streamoff{kLook});
    const std::string tail = ReadSome(in, from, kLook);
    const char last = FirstPrinted(tail.rbegin(), tail.rend());
    if (last == 'q' || last == 'Q') {
      return ProgramFormat::TiTxt;
    }
  }
  return ProgramFormat::Unknown;
}

ProgramRead ReadProgramStream(std::istream& in, McuType mcuType, ProgramImage& image) {
  image.allocationError.clear();
  const ProgramFormat format = DetectFormat(in);
  in.clear();
  in.seekg(0);
  if (format == ProgramFormat::Coff || format == ProgramFormat::Unknown) {
    // Whatever no other reader claims, the COFF reader refuses as before.
    return {format, ReadCoffStream(in, mcuType, image), {}};
  }
  ProgramRead read;
  image.Clear();
  try {
    switch (format) {
      case ProgramFormat::Elf:
        read = ReadElfStream(in, mcuType, image);
        break;
      case ProgramFormat::IntelHex:
        read = ReadIntelHexStream(in, mcuType, image);
        break;
      default:
        read = ReadTiTxtStream(in, mcuType, image);
        break;
    }
  } catch (const std::bad_alloc& e) {
    image.allocationError = e.what();
    read.result = ProgramReadResult::OutOfMemory;
  }
  read.format = format;
  if (read.result != ProgramReadResult::Ok) {
    // A half-read program must never pass for the file.
    image.Clear();
  }
  return read;
}

ProgramRead ReadProgramFile(const std::filesystem::path& path, McuType mcuType,
                            ProgramImage& image) {
  std::ifstream in;
  if (ProgramRead opened = OpenForReading(path, in, image);
      opened.result != ProgramReadResult::Ok) {
    return opened;
  }
  return ReadProgramStream(in, mcuType, image);
}

ProgramRead ReadProgramFileOnce(const std::filesystem::path& path, McuType mcuType,
                                ProgramImage& image, std::string& fileSha256) {
  fileSha256.clear();
  std::ifstream in;
  if (ProgramRead opened = OpenForReading(path, in, image);
      opened.result != ProgramReadResult::Ok) {
    return opened;
  }
  std::string bytes;
  try {
    std::array<char, 65536> chunk;
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
      bytes.append(chunk.data(), static_cast<size_t>(in.gcount()));
    }
  } catch (const std::bad_alloc& e) {
    image.allocationError = e.what();
    return {ProgramFormat::Unknown, ProgramReadResult::OutOfMemory, {}};
  }
  if (in.bad()) {
    return {ProgramFormat::Unknown, ProgramReadResult::OpenFailed, {}};
  }
  fileSha256 = BytesSha256(bytes);
  std::istringstream memory(std::move(bytes));
  return ReadProgramStream(memory, mcuType, image);
}

std::string ProgramReadMessage(const ProgramRead& read) {
  // A COFF file keeps its long-standing sentence; the other formats name
  // themselves, so "COFF" never stands for a HEX file.
  const bool namesItsFormat = read.result == ProgramReadResult::Ok &&
                              read.format != ProgramFormat::Coff &&
                              read.format != ProgramFormat::Unknown;
  std::string message = namesItsFormat ? "Reading " + std::string(ProgramFormatName(read.format)) +
                                             " file is successful"
                                       : std::string(ProgramReadResultMessage(read.result));
  if (!read.detail.empty()) {
    message += " (" + read.detail + ")";
  }
  return message;
}
