// Which FTDI driver backend the programs talk through: the vendor's D2XX library
// when it loads, else Linux's own FTDI driver, unless BRONTAFLEX_DRIVER (or the
// command line's --driver) names one: d2xx, tty, tty:/dev/PATH or emulator.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "pod/FtdiDriver.h"

struct DriverSelection {
  std::unique_ptr<FtdiDriver> driver;  // null when the name is not known
  std::string error;                   // why, for the user
};

// The backend named `name`; an empty name picks the default. `emulatorState` is
// the file where the emulated POD keeps its serial flash between runs (empty:
// the emulated POD starts blank and forgets at exit).
DriverSelection SelectDriver(std::string_view name,
                             const std::filesystem::path& emulatorState = {});

// The names accepted, for --help.
inline constexpr std::string_view kDriverNames = "d2xx, tty, tty:/dev/PATH, emulator";

// The value of BRONTAFLEX_DRIVER, empty when unset.
std::string DriverNameFromEnvironment();
// Where the command line's emulated POD keeps its serial flash:
// BRONTAFLEX_EMULATOR_STATE, else $XDG_STATE_HOME/brontaflex/emulated-pod.bin
// (~/.local/state when XDG_STATE_HOME is unset).
std::filesystem::path EmulatorStatePathFromEnvironment();
