#include "cli/CsmKeys.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/KeyFileAccess.h"
#include "image/Utf8Path.h"
#include "ops/DriverSelection.h"
#include "ops/UserText.h"

namespace {

// Eight keys and their commas take under a hundred bytes; a larger file is
// something else, not read further.
constexpr long long kMaxKeyFileBytes = 4096;

// Why the keys from `source` ("--csm", "BRONTAFLEX_CSM") cannot be used.
std::string NotKeysError(std::string_view source) {
  return std::string(source) +
         " takes eight key words of at most 4 hexadecimal digits, separated by commas";
}

bool IsKeyText(const std::string& text) {
  return text.size() <= 4 &&
         std::ranges::all_of(text, [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// A key file's text: its lines joined by commas, so that one key a line reads
// as the keys on one line do.
std::optional<CsmKeyTexts> ParseCsmKeyFileText(std::string_view text) {
  const std::string trimmed = TrimBlanks(text);
  std::string joined;
  size_t start = 0;
  while (true) {
    const size_t lineEnd = trimmed.find('\n', start);
    joined += TrimBlanks(std::string_view(trimmed).substr(start, lineEnd - start));
    if (lineEnd == std::string::npos) {
      break;
    }
    joined += ',';
    start = lineEnd + 1;
  }
  return ParseCsmKeys(joined);
}

}  // namespace

std::optional<CsmKeyTexts> ParseCsmKeys(std::string_view text) {
  CsmKeyTexts keys;
  size_t index = 0;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string field = TrimBlanks(text.substr(start, comma - start));
    if (index == keys.size() || !IsKeyText(field)) {
      return std::nullopt;
    }
    keys[index++] = field;
    if (comma == std::string_view::npos) {
      break;
    }
    start = comma + 1;
  }
  if (index != keys.size()) {
    return std::nullopt;
  }
  return keys;
}

std::optional<CsmKeyTexts> ReadCsmKeyFile(const std::string& path, std::string& error) {
  const std::string name = "the CSM key file " + path;
  const int fd = OpenKeyFile(PathFromUtf8(path));
  if (fd < 0) {
    error = "cannot read " + name + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const FileKind kind = KeyFileKindOf(fd);
  std::string text;
  if (!kind.regular) {
    error = name + " is not a regular file";
  } else if ((kind.mode & 077u) != 0) {
    char mode[12];  // room for any mode_t, though only the permission bits come
    std::snprintf(mode, sizeof mode, "%04o", kind.mode);
    error = name + " may be read or written by others (mode " + mode +
            "); make it its owner's alone: chmod 600 " + path;
  } else if (kind.size > kMaxKeyFileBytes) {
    error = name + " is too large to hold eight key words";
  } else {
    char buffer[kMaxKeyFileBytes];
    long long got = 0;
    while ((got = ReadKeyFile(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
      text.append(buffer, static_cast<size_t>(std::max(got, 0LL)));
    }
    if (got < 0) {
      error = "cannot read " + name + ": " + std::strerror(errno);
    }
  }
  CloseKeyFile(fd);
  if (!error.empty()) {
    return std::nullopt;
  }
  std::optional<CsmKeyTexts> keys = ParseCsmKeyFileText(text);
  if (!keys) {
    error = name +
            " holds no eight key words of at most 4 hexadecimal digits (K0,...,K7 on one line, "
            "or one a line)";
  }
  return keys;
}

std::optional<CsmKeyTexts> ChosenCsmKeys(const CliArgs& args, std::string& error) {
  const std::optional<std::string> typed = args.Value("--csm");
  const std::optional<std::string> file = args.Value("--csm-file");
  if (typed && file) {
    error = "--csm and --csm-file cannot be used together";
    return std::nullopt;
  }
  if (file) {
    return ReadCsmKeyFile(*file, error);
  }
  const std::string source = typed ? "--csm" : "BRONTAFLEX_CSM";
  const std::string text = typed ? *typed : CsmKeysFromEnvironment();
  if (!typed && text.empty()) {
    return std::nullopt;
  }
  std::optional<CsmKeyTexts> keys = ParseCsmKeys(text);
  if (!keys) {
    error = NotKeysError(source);
  }
  return keys;
}
