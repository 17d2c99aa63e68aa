#include "ops/SerialNumbers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "image/DurableFile.h"
#include "image/McuCatalogue.h"
#include "image/Utf8Path.h"
#include "ops/UserText.h"

namespace {

// The CSM password's words: a number there would lock the part with a key
// nobody knows.
constexpr uint32_t kCsmKeyWords = 8;

std::string Hex(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", address);
  return text;
}

// The number the counter file holds: decimal digits and the blanks around
// them. False for anything else, an empty file included: starting again from
// --serial-start would give numbers twice.
bool ReadCounter(const std::string& path, uint64_t& next, bool& missing, std::string& error) {
  std::ifstream file(PathFromUtf8(path), std::ios::binary);
  missing = !file && !std::filesystem::exists(PathFromUtf8(path));
  if (missing) {
    return true;
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  const std::string text = TrimBlanks(contents.str());
  const char* end = text.data() + text.size();
  const auto [at, failure] = std::from_chars(text.data(), end, next);
  if (!file || text.empty() || failure != std::errc() || at != end) {
    error = "the counter file " + path + " holds no number; put the next number in it";
    return false;
  }
  return true;
}

}  // namespace

uint64_t LargestSerialNumber(uint32_t width) {
  return width == 2 ? 0xFFFFFFFF : 0xFFFF;
}

std::string SerialPlaceProblem(const ProgramImage& image, const SerialNumbering& numbering) {
  const uint32_t first = numbering.address;
  const uint64_t end = uint64_t{first} + numbering.width;
  if (first < kCsmKeyAddress + kCsmKeyWords && end > kCsmKeyAddress) {
    return "--serial " + Hex(first) + " overlaps the CSM password at " + Hex(kCsmKeyAddress) +
           ", which the number would lock the part with";
  }
  for (const auto& section : image.sections) {
    const uint64_t sectionEnd = uint64_t{section->address} + section->wordCount;
    if (first < section->address || first >= sectionEnd) {
      continue;
    }
    const std::string name = EscapeForDisplay(section->name);
    if (!section->inFlash) {
      return "--serial " + Hex(first) + " lies in section " + name +
             ", which is not written to flash";
    }
    if (end > sectionEnd) {
      return "--serial " + Hex(first) + " with 2 words runs past the end of section " + name +
             " at " + Hex(static_cast<uint32_t>(sectionEnd - 1));
    }
    return {};
  }
  return "--serial " + Hex(first) +
         " lies in no section of the file; the number must replace words the program writes "
         "to flash";
}

std::shared_ptr<const ProgramImage> WithSerialNumber(const ProgramImage& image,
                                                     const SerialNumbering& numbering,
                                                     uint64_t number) {
  std::unique_ptr<ProgramImage> numbered = CopyOf(image);
  for (const auto& section : numbered->sections) {
    if (numbering.address < section->address ||
        numbering.address - section->address >= section->wordCount) {
      continue;
    }
    // The section's own words, asked for again as words to write.
    const auto byteOffset = static_cast<uint32_t>(
        2 * (section->data - numbered->words() + (numbering.address - section->address)));
    uint16_t* const words = numbered->WordsForWriting(byteOffset, numbering.width);
    for (uint32_t word = 0; word < numbering.width; ++word) {
      words[word] = static_cast<uint16_t>(number >> (16 * word));
    }
    break;
  }
  return numbered;
}

std::vector<uint64_t> TakeSerialNumbers(const SerialNumbering& numbering, size_t count,
                                        std::string& error) {
  uint64_t first = numbering.start;
  std::optional<FileLock> lock;
  if (!numbering.counterPath.empty()) {
    lock.emplace(numbering.counterPath);
    if (!lock->held()) {
      error = "the counter file " + numbering.counterPath + ": " + lock->error();
      return {};
    }
    uint64_t stored = 0;
    bool missing = false;
    if (!ReadCounter(numbering.counterPath, stored, missing, error)) {
      return {};
    }
    first = missing ? first : std::max(first, stored);
    RemoveStaleTemporaries(numbering.counterPath);
  }
  const uint64_t largest = LargestSerialNumber(numbering.width);
  // The first number and the step are each at most 2^32 here, so the last
  // one cannot wrap.
  const uint64_t last = first > largest ? first : first + (count - 1) * numbering.step;
  if (last > largest) {
    error = "the number " + std::to_string(last) + " does not fit in " +
            std::to_string(numbering.width) + " word" + (numbering.width == 1 ? "" : "s") +
            " (at most " + std::to_string(largest) + ")";
    return {};
  }
  if (lock) {
    const std::string replaced =
        ReplaceFile(numbering.counterPath, std::to_string(last + numbering.step) + "\n");
    if (!replaced.empty()) {
      error = "the counter file " + numbering.counterPath + " cannot be updated: " + replaced;
      return {};
    }
  }
  std::vector<uint64_t> numbers;
  for (size_t n = 0; n < count; ++n) {
    numbers.push_back(first + n * numbering.step);
  }
  return numbers;
}
