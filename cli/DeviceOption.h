// --device: the device a command reads its file for, by the catalogue's name.
// The names its help and errors list come from the catalogue too, so that a
// device added there is offered everywhere.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"
#include "image/McuCatalogue.h"

// A short text made when the program is compiled, so that the option tables
// holding it stay constant. One that outgrows it fails the build.
struct CompiledText {
  std::array<char, 128> chars{};
  size_t size = 0;

  constexpr CompiledText& operator+=(std::string_view piece) {
    std::ranges::copy(piece, chars.begin() + static_cast<std::ptrdiff_t>(size));
    size += piece.size();
    return *this;
  }
  constexpr std::string_view view() const { return {chars.data(), size}; }
};

// The catalogue's devices as a list in words, "F2801, F2802, F2806, F2808
// `conjunction` F2809".
constexpr CompiledText DeviceList(std::string_view conjunction) {
  CompiledText list;
  for (size_t index = 0; index < kMcuCatalogue.size(); ++index) {
    if (index > 0 && index + 1 == kMcuCatalogue.size()) {
      list += " ";
      list += conjunction;
      list += " ";
    } else if (index > 0) {
      list += ", ";
    }
    list += kMcuCatalogue[index].name;
  }
  return list;
}

// "F2801, F2802, F2806, F2808 or F2809": the names --device takes.
inline constexpr CompiledText kDeviceChoices = DeviceList("or");
// "F2801, F2802, F2806, F2808 and F2809": the devices this program writes.
inline constexpr CompiledText kDevicesWritten = DeviceList("and");

// The choices and the device a command reads its file for without --device.
constexpr CompiledText DeviceHelp() {
  CompiledText help = kDeviceChoices;
  help += " (default ";
  help += kDefaultMcuType.info().name;
  help += ")";
  return help;
}

inline constexpr CompiledText kDeviceHelp = DeviceHelp();
inline constexpr CliOption kDeviceOption{"--device", "NAME", kDeviceHelp.view()};

// The device --device names, else the default one; none, with `error` saying
// why, for a name the catalogue does not know.
std::optional<McuType> ReadDeviceOption(const CliArgs& args, std::string& error);
