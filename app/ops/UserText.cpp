#include "app/ops/UserText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = text.find_last_not_of(kBlanks);
  return std::string(text.substr(first, last - first + 1));
}

std::string CutToBytes(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) {
    return std::string(text);
  }
  size_t end = maxBytes;
  // Back up to the start of the character the cut would fall into.
  while (end > 0 && IsContinuationByte(text[end])) {
    --end;
  }
  return std::string(text.substr(0, end));
}

std::string ProgramNameFromFileName(std::string_view fileName) {
  std::string_view name = fileName.substr(0, std::min(fileName.rfind('.'), fileName.size()));
  if (name.size() > 4) {
    std::string tail(name.substr(name.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (tail == ".OUT") {
      name.remove_suffix(4);
    }
  }
  return CutToBytes(name, 8);
}

uint16_t ParseKeyText(std::string_view text) {
  const std::string trimmed = TrimBlanks(text);
  if (trimmed.empty()) {
    return 0xFFFF;
  }
  return static_cast<uint16_t>(std::strtoul(trimmed.c_str(), nullptr, 16) & 0xFFFF);
}
