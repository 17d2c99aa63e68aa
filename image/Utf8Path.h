// File names travel through the programs as UTF-8 text. These turn such text
// into a path and back without the system's narrow code page, which on Windows
// is an ANSI code page that cannot hold Korean names.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// An empty path when `utf8` is not UTF-8 that the system can name a file by.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);
