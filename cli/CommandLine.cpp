#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>

std::optional<std::string> CliArgs::Value(std::string_view option) const {
  const auto it = values.find(option);
  if (it == values.end()) {
    return std::nullopt;
  }
  return it->second.back();
}

std::vector<std::string> CliArgs::Values(std::string_view option) const {
  const auto it = values.find(option);
  return it == values.end() ? std::vector<std::string>() : it->second;
}

namespace {

// The names CLI11 declares an option by: "-q,--quiet", or "--device".
std::string Cli11Names(const CliOption& option) {
  std::string names = option.shortName.empty() ? "" : std::string(option.shortName) + ",";
  return names + std::string(option.name);
}

// The usage error for an option the command line ends before its value. CLI11
// says which option it was only in its own words, which start with the name
// ("--erase: 1 required MODE missing").
std::string MissingValueError(std::span<const CliOption> options, std::string_view cli11Error) {
  for (const CliOption& option : options) {
    if (cli11Error.starts_with(std::string(option.name) + ":")) {
      return "option " + std::string(option.name) + " needs " + std::string(option.valueName);
    }
  }
  return std::string(cli11Error);
}

// The first option no table declares; CLI11 keeps such arguments as they were
// given, beside the "--" that ended the options.
std::optional<std::string> UnknownOption(const std::vector<std::string>& unparsed) {
  for (const std::string& arg : unparsed) {
    if (arg != "--") {
      return arg.starts_with("--") ? arg.substr(0, arg.find('=')) : arg;
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<CliOption> OptionsOf(const CliCommand& command) {
  std::vector<CliOption> options(command.options.begin(), command.options.end());
  options.push_back(kConfigOption);
  return options;
}

std::optional<CliArgs> ParseCliArgs(const CliCommand& command,
                                    std::span<const std::string_view> args, std::string& error) {
  CLI::App app;
  app.set_help_flag();  // answered before parsing, with the command's own help
  // Unknown options are kept, to be told as every other usage error is.
  app.allow_extras();
  // On Windows CLI11 would take "/device" for an option, and so a path for one.
  app.allow_windows_style_options(false);
  const std::vector<CliOption> options = OptionsOf(command);
  std::vector<CLI::Option*> declared;
  for (const CliOption& option : options) {
    declared.push_back(option.valueName.empty() ? app.add_flag(Cli11Names(option))
                                                : app.add_option(Cli11Names(option))
                                                      ->type_name(std::string(option.valueName))
                                                      ->take_all());
  }
  CLI::Option* operands = app.add_option("operands")->expected(0, -1)->allow_extra_args();
  try {
    // CLI11 takes the arguments last first.
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
  } catch (const CLI::ArgumentMismatch& mismatch) {
    error = MissingValueError(options, mismatch.what());
    return std::nullopt;
  } catch (const CLI::ParseError& other) {
    error = other.what();
    return std::nullopt;
  }
  if (const auto unknown = UnknownOption(app.remaining())) {
    error = "unknown option " + *unknown;
    return std::nullopt;
  }
  CliArgs parsed;
  parsed.operands = operands->results();
  for (size_t index = 0; index < options.size(); ++index) {
    const CliOption& option = options[index];
    std::vector<std::string> values = declared[index]->results();
    if (values.empty()) {
      continue;
    }
    if (option.valueName.empty()) {
      // A flag is there or not: "--json=yes" is a mistake, not a setting.
      if (std::ranges::any_of(values, [](const std::string& value) { return value != "true"; })) {
        error = "option " + std::string(option.name) + " takes no value";
        return std::nullopt;
      }
      std::ranges::fill(values, std::string());
    }
    parsed.values[std::string(option.name)] = std::move(values);
  }
  if (parsed.operands.size() < command.minOperands ||
      parsed.operands.size() > command.maxOperands) {
    error = parsed.operands.size() < command.minOperands ? "missing " : "too many operands for ";
    error += std::string(command.operands);
    return std::nullopt;
  }
  return parsed;
}

void PrintCommandHelp(const CliCommand& command, std::ostream& out) {
  out << "Usage: brontaflex-cli " << command.name;
  if (!command.operands.empty()) {
    out << ' ' << command.operands;
  }
  const std::vector<CliOption> options = OptionsOf(command);
  for (const CliOption& option : options) {
    out << " [" << option.name;
    if (!option.valueName.empty()) {
      out << ' ' << option.valueName;
    }
    out << ']';
  }
  out << "\n\n" << command.summary << "\n\nOptions:\n";
  for (const CliOption& option : options) {
    std::string left = option.shortName.empty() ? "" : std::string(option.shortName) + ", ";
    left += option.name;
    if (!option.valueName.empty()) {
      left += ' ';
      left += option.valueName;
    }
    // A name longer than the column pushes its text along, two spaces after it.
    out << "  " << left << std::string(std::max<ptrdiff_t>(2, 18 - std::ssize(left)), ' ')
        << option.help << '\n';
  }
  out << "  --help            show this help\n\n" << command.details;
}

std::string ExitStatusLine(std::string_view status, std::string_view text) {
  // The texts start in one column for statuses of up to three characters.
  return "  " + std::string(status) +
         std::string(std::max<ptrdiff_t>(1, 4 - std::ssize(status)), ' ') + std::string(text) +
         '\n';
}
