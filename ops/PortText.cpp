#include "ops/PortText.h"

std::string PortLine(const PortDetails& port) {
  std::string line = port.port + " \"" + port.description + "\"";
  if (!port.serialNumber.empty()) {
    line += " serial " + port.serialNumber;
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
  bool denied = false;
  for (const PortDetails& port : ports) {
    lines.push_back("seen: " + PortLine(port));
    denied = denied || !port.accessible;
  }
  if (denied) {
    lines.push_back("fix: " + std::string(kPermissionFix));
  }
  return lines;
}
