// A command line that cannot run, told the way the GNU tools tell it: the one
// thing that is wrong and where to read more, never the whole help.
#pragma once

#include <span>
#include <string_view>

// Prints "brontaflex-cli COMMAND: WHY" and the line that points to COMMAND's
// help (the program's when `command` is empty) on stderr; with `json` also the
// run's object on stdout, outcome "Usage". Returns the exit status, kExitUsage.
int ReportUsageError(std::string_view command, std::string_view why, bool json);

// Whether `args`, not yet parsed, ask for JSON: a usage error found while
// parsing them still answers a script in the form it asked for.
bool AsksForJson(std::span<const std::string_view> args);
