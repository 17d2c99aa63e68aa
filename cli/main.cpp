// brontaflex-cli: the programmer's operations from a terminal. The table of
// commands; the entry point of each system is in EntryPoint.*.cpp.
#include <algorithm>
#include <array>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/BuildCommit.h"
#include "cli/Commands.h"
#include "cli/DeviceOption.h"
#include "cli/Presets.h"
#include "cli/Program.h"
#include "cli/UsageError.h"
#include "resources/Version.h"

namespace {

const std::array<const CliCommand*, 9> kCommands{
    &kListCommand,        &kInfoCommand,        &kTargetWriteCommand,
    &kTargetEraseCommand, &kTargetResetCommand, &kPodWriteCommand,
    &kPodVerifyCommand,   &kPodInfoCommand,     &kDoctorCommand,
};

void PrintUsage(std::ostream& out) {
  out << "Usage: brontaflex-cli COMMAND [ARGUMENTS]\n"
         "  or:  brontaflex-cli COMMAND --help\n"
         "  or:  brontaflex-cli --version\n\n"
         "Flash programmer for the TMS320"
      << kDevicesWritten.view() << ".\n\nCommands:\n";
  for (const CliCommand* command : kCommands) {
    out << "  " << command->name << std::string(std::max<size_t>(2, 14 - command->name.size()), ' ')
        << command->summary << '\n';
  }
  out << "\nExit status: 0 on success, 64 for bad usage, 74 when the output cannot be\n"
         "written, other values as each command's help describes.\n";
}

// The version, and the commit when the program was built from a checkout, so
// a bug report names the exact build.
void PrintVersion(std::ostream& out) {
  out << "brontaflex-cli " BRONTAFLEX_VERSION;
  if (constexpr std::string_view commit = BRONTAFLEX_COMMIT; !commit.empty()) {
    out << " (git " << commit << ')';
  }
  out << '\n';
}

int RunCommandLine(const std::vector<std::string_view>& args) {
  if (args.empty()) {
    return ReportUsageError({}, "missing command", false);
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage(std::cout);
    return kExitOk;
  }
  if (args[0] == "--version" || args[0] == "-V") {
    PrintVersion(std::cout);
    return kExitOk;
  }
  const auto command =
      std::ranges::find(kCommands, args[0], [](const CliCommand* c) { return c->name; });
  const std::span<const std::string_view> rest(args.begin() + 1, args.end());
  if (command == kCommands.end()) {
    return ReportUsageError({}, "unknown command " + std::string(args[0]), AsksForJson(rest));
  }
  if (std::ranges::find(rest, "--help") != rest.end() ||
      std::ranges::find(rest, "-h") != rest.end()) {
    PrintCommandHelp(**command, std::cout);
    return kExitOk;
  }
  std::string error;
  auto parsed = ParseCliArgs(**command, rest, error);
  if (!parsed || !ApplyPresets(**command, kCommands, *parsed, error)) {
    return ReportUsageError((*command)->name, error, AsksForJson(rest));
  }
  return (*command)->run(*parsed);
}

// What was printed must have reached its reader: a closed pipe or a full disk
// turns a success into the output error's status, with a word on stderr.
int CheckedOutput(int status) {
  std::cout.flush();
  if (std::cout.fail() || std::cerr.fail()) {
    std::cerr << "brontaflex-cli: write error: the output was cut short" << std::endl;
    return kExitOutputError;
  }
  return status;
}

}  // namespace

int RunProgram(const std::vector<std::string_view>& args) {
  return CheckedOutput(RunCommandLine(args));
}
