// What the environment holds, as UTF-8 whatever the system's own encoding,
// and where this user's programs keep their state. The build picks the file.
#pragma once

#include <filesystem>
#include <string>

// The variable's value; empty when it is unset.
std::string EnvironmentValue(const char* name);

// The folder programs keep this user's state in: $XDG_STATE_HOME, else
// ~/.local/state; %LOCALAPPDATA% on Windows. Empty when the environment
// names none.
std::filesystem::path UserStateFolder();

// The folder programs keep this user's settings in: $XDG_CONFIG_HOME, else
// ~/.config; %APPDATA% on Windows. Empty when the environment names none.
std::filesystem::path UserConfigFolder();
