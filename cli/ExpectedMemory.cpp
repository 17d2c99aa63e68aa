#include "cli/ExpectedMemory.h"

#include <algorithm>
#include <cctype>

bool IsMemoryDigestText(std::string_view digest) {
  return digest.size() == 64 &&
         std::ranges::all_of(digest, [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string UnexpectedMemory(const std::optional<std::string>& expected, std::string_view actual) {
  if (!expected) {
    return {};
  }
  std::string wanted = *expected;
  std::ranges::transform(wanted, wanted.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (wanted == actual) {
    return {};
  }
  return "The file's memory digest is " + std::string(actual) + ", not the expected " + wanted;
}
