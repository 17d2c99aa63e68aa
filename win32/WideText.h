// The window's texts travel as UTF-8; the Win32 API takes and gives UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "image/Utf8Path.h"

inline std::wstring Wide(std::string_view utf8) {
  return PathFromUtf8(utf8).wstring();
}

inline std::string Utf8(std::wstring_view wide) {
  return Utf8FromPath(std::filesystem::path(wide));
}
