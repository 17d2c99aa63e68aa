#include "ops/Workstation.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <ctime>

std::string UtcTimeNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

// The account itself, which a changed $USER cannot hide.
std::string UserName() {
  const passwd* account = getpwuid(geteuid());
  return account != nullptr ? account->pw_name : std::to_string(geteuid());
}
