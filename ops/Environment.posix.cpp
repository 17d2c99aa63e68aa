#include "ops/Environment.h"

#include <cstdlib>

#include "image/Utf8Path.h"

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

namespace {

// The folder `xdgVariable` names, else `homeSubfolder` of the home folder.
std::filesystem::path XdgFolder(const char* xdgVariable,
                                const std::filesystem::path& homeSubfolder) {
  if (std::filesystem::path folder = PathFromUtf8(EnvironmentValue(xdgVariable)); !folder.empty()) {
    return folder;
  }
  const std::string home = EnvironmentValue("HOME");
  if (home.empty()) {
    return {};
  }
  return PathFromUtf8(home) / homeSubfolder;
}

}  // namespace

std::filesystem::path UserStateFolder() {
  return XdgFolder("XDG_STATE_HOME", std::filesystem::path(".local") / "state");
}

std::filesystem::path UserConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config");
}
