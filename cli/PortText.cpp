#include "cli/PortText.h"

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
