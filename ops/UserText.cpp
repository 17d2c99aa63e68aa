#include "ops/UserText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at the start of `text` and its
// code point; 0 when the bytes there are no such character (a stray or missing
// continuation byte, an over-long form, a surrogate, beyond U+10FFFF).
size_t DecodeCharacter(std::string_view text, char32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length = 0;
  char32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, lowest = 0x80, codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, lowest = 0x800, codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, lowest = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (size_t n = 1; n < length; ++n) {
    if (!IsContinuationByte(text[n])) {
      return 0;
    }
    codePoint = codePoint << 6 | (static_cast<unsigned char>(text[n]) & 0x3F);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  return codePoint < lowest || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

// C0, DEL and C1: a terminal may take any of them as the start of a command.
bool IsControl(char32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
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

bool HasControlCharacter(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    char32_t codePoint = 0;
    const size_t length = DecodeCharacter(text.substr(at), codePoint);
    if (length > 0 && IsControl(codePoint)) {
      return true;
    }
    at += std::max<size_t>(length, 1);
  }
  return false;
}

std::string EscapeForDisplay(std::string_view bytes) {
  std::string shown;
  for (size_t at = 0; at < bytes.size();) {
    char32_t codePoint = 0;
    const size_t length = DecodeCharacter(bytes.substr(at), codePoint);
    if (length > 0 && !IsControl(codePoint)) {
      shown.append(bytes.substr(at, length));
      at += length;
      continue;
    }
    // One byte at a time, so the escape shows exactly what was stored.
    for (const size_t end = at + std::max<size_t>(length, 1); at < end; ++at) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(bytes[at]));
      shown += escape;
    }
  }
  return shown;
}
