// The commands of brontaflex-cli, each defined in its own file.
#pragma once

#include "cli/CommandLine.h"

extern const CliCommand kInfoCommand;
