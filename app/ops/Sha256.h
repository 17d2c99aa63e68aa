// SHA-256 of a file, for the command line's report of which image it used.
// Written out here because the core carries no crypto library and the command
// line has to build without Qt.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
// The digest of the file's contents; none when it cannot be read.
std::optional<std::string> FileSha256Hex(const std::filesystem::path& file);
