// The commands of brontaflex-cli, each defined in its own file.
#pragma once

#include "cli/CommandLine.h"

extern const CliCommand kInfoCommand;
extern const CliCommand kListCommand;
extern const CliCommand kTargetWriteCommand;
extern const CliCommand kTargetEraseCommand;
extern const CliCommand kTargetResetCommand;
extern const CliCommand kPodWriteCommand;
extern const CliCommand kPodVerifyCommand;
extern const CliCommand kPodInfoCommand;
extern const CliCommand kDoctorCommand;
