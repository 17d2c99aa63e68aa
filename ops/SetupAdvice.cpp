#include "ops/SetupAdvice.h"

#include <filesystem>
#include <system_error>

std::vector<std::string> InstalledRules(const std::string& root) {
  std::vector<std::string> found;
  // udev's own order: /etc overrides /run, which overrides the packages' folders.
  for (const char* folder : {"etc/udev/rules.d", "run/udev/rules.d", "usr/local/lib/udev/rules.d",
                             "usr/lib/udev/rules.d", "lib/udev/rules.d"}) {
    const std::filesystem::path rule = std::filesystem::path(root) / folder / kRuleFileName;
    std::error_code error;
    if (std::filesystem::is_regular_file(rule, error)) {
      found.push_back("/" + std::string(folder) + "/" + std::string(kRuleFileName));
    }
  }
  return found;
}
