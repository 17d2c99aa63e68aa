#include "ops/Environment.h"

#include <cstdlib>
#include <cstring>

#include "image/Utf8Path.h"

std::string EnvironmentValue(const char* name) {
  // The narrow environment is in the ANSI code page; the wide one holds any name.
  const wchar_t* value = _wgetenv(std::wstring(name, name + std::strlen(name)).c_str());
  return value != nullptr ? Utf8FromPath(value) : "";
}

std::filesystem::path UserStateFolder() {
  return PathFromUtf8(EnvironmentValue("LOCALAPPDATA"));
}

std::filesystem::path UserConfigFolder() {
  return PathFromUtf8(EnvironmentValue("APPDATA"));
}
