#include "ops/Workstation.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "image/Utf8Path.h"

std::string UtcTimeNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_s(&utc, &now);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

namespace {

std::string WideEnvironment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value != nullptr ? Utf8FromPath(value) : "";
}

}  // namespace

std::string HostName() {
  return WideEnvironment(L"COMPUTERNAME");
}

std::string UserName() {
  return WideEnvironment(L"USERNAME");
}
