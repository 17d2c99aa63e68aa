#include "ops/SetupAdvice.h"

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

std::string PermissionFix(const std::string& group,
                          const std::vector<std::string>& installedRules) {
  std::string fix = ApplyRule(installedRules,
                              "gives the POD to the group plugdev and to the user at the machine");
  const std::string joined = group.empty() ? "plugdev" : group;
  return fix + "; or join the node's group (sudo usermod -aG " + joined +
         " $USER) and log in again";
}

std::string LatencyFix(const std::vector<std::string>& installedRules) {
  return ApplyRule(installedRules, "sets it to 1 ms when the POD is plugged in");
}

std::string MissingDriverFix(const std::string& backend) {
  if (backend != "d2xx") {
    return {};
  }
  return "install FTDI's D2XX library (libftd2xx.so in /usr/local/lib, then sudo ldconfig), or "
         "use the kernel's own driver, which needs nothing installed (--driver tty)";
}
