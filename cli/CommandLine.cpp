#include "cli/CommandLine.h"

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

std::optional<CliArgs> ParseCliArgs(const CliCommand& command,
                                    std::span<const std::string_view> args, std::string& error) {
  CliArgs parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (!optionsEnded && arg.size() == 2 && arg[0] == '-' && arg[1] != '-') {
      const auto option = std::ranges::find(command.options, arg, &CliOption::shortName);
      if (option == command.options.end()) {
        error = "unknown option " + std::string(arg);
        return std::nullopt;
      }
      arg = option->name;
    }
    if (optionsEnded || !arg.starts_with("--")) {
      parsed.operands.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const auto option = std::ranges::find(command.options, name, &CliOption::name);
    if (option == command.options.end()) {
      error = "unknown option " + std::string(name);
      return std::nullopt;
    }
    std::string value;
    if (option->valueName.empty()) {
      if (equals != std::string_view::npos) {
        error = "option " + std::string(name) + " takes no value";
        return std::nullopt;
      }
    } else if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = "option " + std::string(name) + " needs " + std::string(option->valueName);
      return std::nullopt;
    }
    parsed.values[std::string(name)].push_back(std::move(value));
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
  for (const CliOption& option : command.options) {
    out << " [" << option.name;
    if (!option.valueName.empty()) {
      out << ' ' << option.valueName;
    }
    out << ']';
  }
  out << "\n\n" << command.summary << "\n\nOptions:\n";
  for (const CliOption& option : command.options) {
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
