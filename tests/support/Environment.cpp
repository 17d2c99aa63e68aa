#include "tests/support/Environment.h"

#include <cstdlib>
#include <string>

#include "image/Utf8Path.h"

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  // The wide environment, which the programs read there; an empty value removes.
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  _wputenv_s(wideName.c_str(), value != nullptr ? PathFromUtf8(value).c_str() : L"");
#else
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
#endif
}
