// Presets: the options a station always gives, kept in an INI file, one
// "name = value" a line under the option's long name. Options outside any
// section are for every command that takes them; a section named after a
// command ([target-write]) holds options for that command alone.
#pragma once

#include <span>
#include <string>

#include "cli/CommandLine.h"

// Fills in what `args` of `command` leave out from the presets file: the one
// --config names, else the user's own when there is one. What the command line
// gives stays; an option of another command is passed over. False, with
// `error` naming the file (and the line where it can tell), when the file
// cannot be read or holds an option that no command in `commands` takes.
bool ApplyPresets(const CliCommand& command, std::span<const CliCommand* const> commands,
                  CliArgs& args, std::string& error);
