#include "ops/Environment.h"

#include <cstdlib>

#include "image/Utf8Path.h"

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::filesystem::path UserStateFolder() {
  if (std::filesystem::path stateHome = PathFromUtf8(EnvironmentValue("XDG_STATE_HOME"));
      !stateHome.empty()) {
    return stateHome;
  }
  const std::string home = EnvironmentValue("HOME");
  if (home.empty()) {
    return {};
  }
  return PathFromUtf8(home) / ".local" / "state";
}
