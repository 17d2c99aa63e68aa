#include "cli/PortText.h"

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
