// --expect DIGEST: the guard of a production line against programming the
// wrong file. The file's memory digest (MemoryDigest, shown by info) must be
// DIGEST, or the command refuses it before any POD is used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"

inline constexpr CliOption kExpectOption{
    "--expect", "DIGEST",
    "refuse FILE, before any POD is used, unless its memory digest (see info) is DIGEST"};

// Whether `digest` is what --expect takes: a SHA-256 as 64 hexadecimal digits.
bool IsMemoryDigestText(std::string_view digest);

// Why a file whose memory digest is `actual` is not the one expected, naming
// both; empty when `expected` is absent or names it (in either case of letters).
std::string UnexpectedMemory(const std::optional<std::string>& expected, std::string_view actual);
