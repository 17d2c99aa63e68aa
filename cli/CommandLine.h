// What every brontaflex-cli command shares: how it describes itself, how its
// arguments are parsed, and the exit statuses common to all commands.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/OutcomeTable.h"

// Exit statuses shared by every command. A command that reads a COFF file
// first exits with the reader's outcome code (1..9) when that read fails;
// commands number their own failures from 10 on.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 64;
// Standard output or error could not be written (a closed pipe, a full disk).
inline constexpr int kExitOutputError = 74;

struct CliOption {
  std::string_view name;       // "--device"
  std::string_view valueName;  // "NAME"; empty for a flag without a value
  std::string_view help;
  std::string_view shortName = {};  // "-q"; empty when there is none
  // Whether each value given counts (--pod), rather than the last alone; a
  // presets file may then give several on a line.
  bool repeatable = false;
};

struct CliArgs {
  std::vector<std::string> operands;
  // Options given, by name, each with its values in the order given.
  std::map<std::string, std::vector<std::string>, std::less<>> values;

  bool Has(std::string_view option) const { return values.contains(option); }
  // The last value given for `option`: a later one overrides an earlier one.
  std::optional<std::string> Value(std::string_view option) const;
  // Every value given for `option`, for the options that may come more than once.
  std::vector<std::string> Values(std::string_view option) const;
};

struct CliCommand {
  std::string_view name;
  std::string_view operands;  // shown in the usage line, e.g. "FILE"
  size_t minOperands;
  size_t maxOperands;
  std::string_view summary;  // one line for the list of commands
  std::string_view details;  // what it prints and its exit statuses
  std::span<const CliOption> options;
  // Runs with parsed arguments; returns the exit status.
  int (*run)(const CliArgs& args);
};

// Every command also takes a presets file, read by ApplyPresets.
inline constexpr CliOption kConfigOption{
    "--config", "FILE",
    "take the options FILE holds by their long names (INI: device = F2809) where the command "
    "line gives none (default: brontaflex/cli.ini in $XDG_CONFIG_HOME, else ~/.config; in "
    "%APPDATA% on Windows; when it exists)"};

// A command's options: its table's, then those every command takes.
std::vector<CliOption> OptionsOf(const CliCommand& command);

// Parses the arguments that follow the command name: options with a value as
// "--name VALUE" or "--name=VALUE", flags as "--name" or by their short names,
// alone or bundled ("-q", "-qv"); "--" ends the options. Options are kept under
// their long name. On failure returns none and says why in `error`.
std::optional<CliArgs> ParseCliArgs(const CliCommand& command,
                                    std::span<const std::string_view> args, std::string& error);

void PrintCommandHelp(const CliCommand& command, std::ostream& out);

// One line of a command's exit statuses in its help: "  64  bad usage".
std::string ExitStatusLine(std::string_view status, std::string_view text);

// The line of an outcome: its number, then its name and what it means, or
// only what it means for success.
template <typename Outcome>
std::string ExitStatusLine(const OutcomeRow<Outcome>& row) {
  const int status = static_cast<int>(row.outcome);
  if (status == 0 || row.meaning.empty()) {
    return ExitStatusLine(std::to_string(status), status == 0 ? row.meaning : row.name);
  }
  return ExitStatusLine(std::to_string(status),
                        std::string(row.name) + ": " + std::string(row.meaning));
}
