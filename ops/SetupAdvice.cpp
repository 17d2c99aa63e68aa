#include "ops/SetupAdvice.h"

#include <filesystem>
#include <system_error>

namespace {

// "install the package..." or "the rule ... is in place...": how the rule
// comes to apply to the POD.
std::string ApplyRule(const std::vector<std::string>& installedRules, std::string_view what) {
  if (installedRules.empty()) {
    return "install the package, whose udev rule (" + std::string(kPackagedRule) + ") " +
           std::string(what) + " (from a checkout: sudo cp packaging/linux/" +
           std::string(kRuleFileName) + " /etc/udev/rules.d/), then " + std::string(kReloadRules);
  }
  return "the udev rule " + installedRules.front() + " " + std::string(what) +
         " but has not been applied to this POD: " + std::string(kReloadRules) +
         ", or plug the POD in again";
}

}  // namespace

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

std::string PermissionFix(const std::string& group,
                          const std::vector<std::string>& installedRules) {
#ifdef _WIN32
  (void)group;
  (void)installedRules;
  return "install FTDI's D2XX driver (CDM package) so that Windows gives the POD to it";
#else
  std::string fix = ApplyRule(installedRules,
                              "gives the POD to the group plugdev and to the user at the machine");
  const std::string joined = group.empty() ? "plugdev" : group;
  return fix + "; or join the node's group (sudo usermod -aG " + joined +
         " $USER) and log in again";
#endif
}

std::string LatencyFix(const std::vector<std::string>& installedRules) {
#ifdef _WIN32
  (void)installedRules;
  return "set the latency timer to 1 ms in Device Manager (the POD's USB Serial Port, Port "
         "Settings, Advanced)";
#else
  return ApplyRule(installedRules, "sets it to 1 ms when the POD is plugged in");
#endif
}
