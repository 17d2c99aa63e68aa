// The CSM keys of a run and where they come from. On the command line (--csm)
// every user of the machine can read them in the process list; a file only its
// owner may read (--csm-file) or the environment (BRONTAFLEX_CSM) keeps them
// to the user.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"
#include "ops/OperationRequest.h"

// "K0,...,K7": eight fields of at most four hexadecimal digits; an empty field
// is the erased word, as an empty key edit is.
std::optional<CsmKeyTexts> ParseCsmKeys(std::string_view text);

// The keys in the file at `path` (UTF-8): "K0,...,K7" on one line, or one key
// a line. The file must be a regular file that no one but its owner may read or
// write (Windows has no such mode bits: there only the kind is checked). None,
// with `error` saying why, when it is not, cannot be read or holds no keys.
std::optional<CsmKeyTexts> ReadCsmKeyFile(const std::string& path, std::string& error);

// The keys `args` ask for: --csm, else the file --csm-file names, else
// BRONTAFLEX_CSM. None when nothing asks for keys, or, with `error` saying why,
// when the keys asked for cannot be had.
std::optional<CsmKeyTexts> ChosenCsmKeys(const CliArgs& args, std::string& error);

// The warning that --csm puts the keys where other users can read them.
inline constexpr std::string_view kCsmOnCommandLineWarning =
    "brontaflex-cli: warning: --csm shows the keys to every user of this machine in the process "
    "list; use --csm-file FILE or BRONTAFLEX_CSM";
