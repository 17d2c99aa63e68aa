// Running a command that talks to the POD: its options read, its log opened,
// its PODs found, then the operation on one POD or on several at once, told
// as the exit status, the JSON object --json asks for and a log line per POD.
#pragma once

#include <string_view>

#include "cli/CommandLine.h"
#include "cli/PodCommandOptions.h"
#include "cli/PodRun.h"

// Runs `operation` for the command `command` with the parsed `args`; returns
// the exit status: 0, the program reader's code for a refused file, the
// outcome's number for any other failure, or kExitUsage for a bad option value.
// With several PODs chosen, it runs on all of them at once (RunGang).
int RunPodCommand(std::string_view command, const CliArgs& args, const PodOperation& operation);
