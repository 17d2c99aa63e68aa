#include "cli/Presets.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "image/Utf8Path.h"
#include "ops/DriverSelection.h"
#include "ops/UserText.h"

namespace {

// The file's text; false, with `error` saying why, when it cannot be read.
// Anything but a regular file is refused before it is opened: a FIFO would
// wait for a writer.
bool ReadPresetsText(const std::string& name, std::string& text, std::string& error) {
  const std::filesystem::path path = PathFromUtf8(name);
  std::error_code status;
  if (!std::filesystem::exists(path, status)) {
    error = "cannot read the presets file " + name + ": " +
            (status ? status.message() : std::strerror(ENOENT));
    return false;
  }
  if (!std::filesystem::is_regular_file(path, status)) {
    error = "the presets file " + name + " is not a regular file";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (!file.is_open() || file.bad()) {
    error = "cannot read the presets file " + name + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// The section an item of the file lies in: "" outside any, as in [default].
std::string SectionOf(const CLI::ConfigItem& item) {
  return item.parents.empty() || item.parents.front() == "default" ? "" : item.parents.front();
}

// "FILE:LINE: " for the first line that gives `item`, "FILE: " when none is
// found. CLI11 does not keep the lines it read items from, so the text is
// looked through again, section by section, as an INI reader does.
std::string WhereIs(const std::string& name, const std::string& text, const CLI::ConfigItem& item) {
  std::istringstream lines(text);
  std::string line;
  std::string section;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string trimmed = TrimBlanks(line);
    if (trimmed.starts_with('[') && trimmed.ends_with(']')) {
      section = TrimBlanks(std::string_view(trimmed).substr(1, trimmed.size() - 2));
      section = section == "default" ? "" : section;
    } else if (section == SectionOf(item) &&
               TrimBlanks(trimmed.substr(0, trimmed.find('='))) == item.name) {
      return name + ":" + std::to_string(number) + ": ";
    }
  }
  return name + ": ";
}

// Options that cannot be given together: one on the command line keeps the
// other out of the presets, as it would override it.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kExclusiveOptions{{
    {"--quiet", "--verbose"},
    {"--csm", "--csm-file"},
    {"--pod", "--all-pods"},
}};

// Whether the command line gives `optionName` or an option that excludes it.
bool CommandLineGives(const CliArgs& args, std::string_view optionName) {
  return args.Has(optionName) || std::ranges::any_of(kExclusiveOptions, [&](const auto& pair) {
           return (pair.first == optionName && args.Has(pair.second)) ||
                  (pair.second == optionName && args.Has(pair.first));
         });
}

const CliOption* FindOption(std::span<const CliOption> options, std::string_view name) {
  const auto found = std::ranges::find(options, name, &CliOption::name);
  return found == options.end() ? nullptr : &*found;
}

bool AnyCommandTakes(std::span<const CliCommand* const> commands, std::string_view name) {
  return std::ranges::any_of(commands, [&](const CliCommand* command) {
    return FindOption(command->options, name) != nullptr;
  });
}

// The values the file gives `option` in `item`; false, with `error` saying
// why, when they are not what the option takes. CLI11 splits a value at its
// spaces unless it is quoted, and joins the values of a name given on lines
// that follow one another.
bool PresetValues(const CliOption& option, const CLI::ConfigItem& item,
                  std::vector<std::string>& values, std::string& error) {
  if (item.inputs.size() != 1 && !option.repeatable) {
    error = "one value for " + item.name + " (quote a value with spaces)";
    return false;
  }
  if (!option.valueName.empty()) {
    values.insert(values.end(), item.inputs.begin(), item.inputs.end());
    return true;
  }
  const std::string& value = item.inputs.front();
  if (value != "true" && value != "false") {
    error = item.name + " takes true or false, not " + value;
    return false;
  }
  // A flag set to false is a flag not given.
  if (value == "true") {
    values.emplace_back();
  }
  return true;
}

// The presets file: --config's, else the user's own when it exists; empty
// for none.
std::string PresetsFileName(const CliArgs& args) {
  std::string name = args.Value("--config").value_or("");
  if (name.empty()) {
    const std::filesystem::path own = CliPresetsPathFromEnvironment();
    std::error_code status;
    if (!own.empty() && std::filesystem::exists(own, status)) {
      name = Utf8FromPath(own);
    }
  }
  return name;
}

// The items of `text`, the INI text of the file `name`; false, with `error`
// saying why, when it is not INI.
bool ParsePresets(const std::string& name, const std::string& text,
                  std::vector<CLI::ConfigItem>& items, std::string& error) {
  try {
    std::istringstream stream(text);
    items = CLI::ConfigINI().from_config(stream);
  } catch (const CLI::Error& bad) {
    error = name + ": " + bad.what();
    return false;
  }
  return true;
}

}  // namespace

bool ApplyPresets(const CliCommand& command, std::span<const CliCommand* const> commands,
                  CliArgs& args, std::string& error) {
  const std::string name = PresetsFileName(args);
  if (name.empty()) {
    return true;
  }
  std::string text;
  std::vector<CLI::ConfigItem> items;
  if (!ReadPresetsText(name, text, error) || !ParsePresets(name, text, items, error)) {
    return false;
  }
  // The options outside any section, and those of the command's own section,
  // which override them.
  std::map<std::string, std::vector<std::string>, std::less<>> presets;
  std::map<std::string, std::vector<std::string>, std::less<>> ownSection;
  for (const CLI::ConfigItem& item : items) {
    if (item.name == "++" || item.name == "--") {
      continue;  // the marks CLI11 puts around a section's items
    }
    const std::string section = SectionOf(item);
    const std::string optionName = "--" + item.name;
    const auto sectionCommand = std::ranges::find(commands, section, &CliCommand::name);
    if (!section.empty() && sectionCommand == commands.end()) {
      error = WhereIs(name, text, item) + "no command " + section + " for the section [" + section +
              "]";
      return false;
    }
    const bool known = section.empty()
                           ? AnyCommandTakes(commands, optionName)
                           : FindOption((*sectionCommand)->options, optionName) != nullptr;
    if (!known) {
      error = WhereIs(name, text, item) + "unknown option " + item.name +
              (section.empty() ? "" : " for " + section);
      return false;
    }
    const CliOption* option = FindOption(command.options, optionName);
    if (option == nullptr || (!section.empty() && section != command.name)) {
      continue;  // another command's
    }
    auto& values = (section.empty() ? presets : ownSection)[optionName];
    if (!PresetValues(*option, item, values, error)) {
      error = WhereIs(name, text, item) + error;
      return false;
    }
  }
  for (auto& [optionName, values] : ownSection) {
    presets[optionName] = std::move(values);
  }
  for (auto& [optionName, values] : presets) {
    if (!CommandLineGives(args, optionName) && !values.empty()) {
      args.values[optionName] = std::move(values);
    }
  }
  return true;
}
