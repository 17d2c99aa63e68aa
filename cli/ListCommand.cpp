// brontaflex-cli list: every FTDI device each driver backend sees, so that a
// user can tell which POD is which, and why one cannot be used.
#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/PodSession.h"
#include "cli/PortText.h"
#include "cli/UsageError.h"
#include "ops/DriverSelection.h"
#include "pod/Clock.h"

namespace {

const std::array<CliOption, 2> kOptions{{
    {"--driver", "NAME",
     "list only this backend: d2xx, tty, tty:/dev/PATH or emulator (default: BRONTAFLEX_DRIVER, "
     "else d2xx and tty)"},
    {"--json", "", "print one JSON object"},
}};

struct BackendPorts {
  std::string backend;
  std::vector<PortDetails> ports;
};

// The backends to ask: the one named, else every one that loads here.
std::vector<std::string> BackendNames(const CliArgs& args) {
  const std::string named = args.Value("--driver").value_or(DriverNameFromEnvironment());
  if (!named.empty()) {
    return {named};
  }
  return {"d2xx", "tty"};
}

nlohmann::ordered_json PortJson(const std::string& backend, const PortDetails& port) {
  return {
      {"backend", backend},
      {"port", port.port},
      {"description", port.description},
      {"serialNumber", port.serialNumber},
      {"latencyMs",
       port.latencyMs ? nlohmann::ordered_json(*port.latencyMs) : nlohmann::ordered_json()},
      {"kernelDriver", port.kernelDriver},
      {"accessible", port.accessible},
      {"accessProblem", port.accessProblem},
  };
}

int Run(const CliArgs& args) {
  SystemClock clock;
  const bool namedOne = args.Has("--driver") || !DriverNameFromEnvironment().empty();
  std::vector<BackendPorts> seen;
  for (const std::string& name : BackendNames(args)) {
    DriverSelection selection =
        SelectDriver(name, clock, EmulatorSetupFromEnvironment(kDefaultMcuType));
    if (!selection.driver) {
      if (namedOne) {
        return ReportUsageError("list", selection.error, args.Has("--json"));
      }
      continue;  // not offered on this system
    }
    if (!selection.driver->Load()) {
      continue;  // the vendor library is not installed: it sees nothing
    }
    seen.push_back({selection.driver->Name(), selection.driver->DescribePorts()});
    selection.driver->Unload();
  }
  if (args.Has("--json")) {
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    for (const BackendPorts& backend : seen) {
      for (const PortDetails& port : backend.ports) {
        ports.push_back(PortJson(backend.backend, port));
      }
    }
    std::cout << JsonText(nlohmann::ordered_json{{"command", "list"}, {"ports", ports}}) << '\n';
    return kExitOk;
  }
  bool any = false;
  for (const BackendPorts& backend : seen) {
    for (const PortDetails& port : backend.ports) {
      std::cout << backend.backend << ' ' << PortLine(port) << '\n';
      any = true;
    }
  }
  if (!any) {
    std::cerr << "No FTDI device seen\n";
  }
  return kExitOk;
}

}  // namespace

const CliCommand kListCommand{
    .name = "list",
    .operands = "",
    .minOperands = 0,
    .maxOperands = 0,
    .summary = "list the FTDI devices each driver sees, PODs and others",
    .details =
        "Prints one line per device: the backend, the port (device node, or #index\n"
        "in the driver's enumeration), the USB description and serial number, the\n"
        "latency timer and the kernel driver where known, and why this user cannot\n"
        "open it. With --json: one object {\"command\": \"list\", \"ports\": [...]}, each\n"
        "port with backend, port, description, serialNumber, latencyMs (null when\n"
        "unknown), kernelDriver, accessible and accessProblem.\n\n"
        "Exit status:\n"
        "  0   listed (also when there is nothing to list)\n"
        "  64  bad usage, or a driver that cannot be set up\n"
        "  74  the output could not be written\n",
    .options = kOptions,
    .run = Run,
};
