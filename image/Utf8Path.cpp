#include "image/Utf8Path.h"

#include <system_error>

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  try {
    return std::u8string(utf8.begin(), utf8.end());
  } catch (const std::system_error&) {
    // Only a system that converts to wide names can refuse; such text names no file.
    return {};
  }
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return {utf8.begin(), utf8.end()};
}
