#include "ops/PortText.h"

#include "ops/SetupAdvice.h"
#include "ops/UserText.h"

// The description and serial number are whatever the device says it is.
std::string PortLine(const PortDetails& port) {
  std::string line =
      EscapeForDisplay(port.port) + " \"" + EscapeForDisplay(port.description) + "\"";
  if (!port.serialNumber.empty()) {
    line += " serial " + EscapeForDisplay(port.serialNumber);
  }
  if (port.latencyMs) {
    line += ", latency " + std::to_string(*port.latencyMs) + " ms";
  }
  if (!port.kernelDriver.empty()) {
    line += ", " + port.kernelDriver;
  }
  if (!port.accessible) {
    line += ": " + port.accessProblem;
  }
  return line;
}

std::vector<std::string> PortsSeenLines(const std::vector<PortDetails>& ports) {
  if (ports.empty()) {
    return {"seen: no FTDI device"};
  }
  std::vector<std::string> lines;
  const PortDetails* denied = nullptr;
  for (const PortDetails& port : ports) {
    lines.push_back("seen: " + PortLine(port));
    denied = denied != nullptr || port.accessible ? denied : &port;
  }
  if (denied != nullptr) {
    lines.push_back("fix: " + PermissionFix(denied->group, InstalledRules()));
  }
  return lines;
}

std::vector<std::string> BackendsPassedOverLines(const std::vector<BackendProbe>& probes) {
  std::vector<std::string> lines;
  for (const BackendProbe& probe : probes) {
    lines.push_back("not used: " + probe.backend + ": " + probe.why);
    for (const PortDetails& port : probe.ports) {
      lines.push_back("seen by " + probe.backend + ": " + PortLine(port));
    }
  }
  return lines;
}
