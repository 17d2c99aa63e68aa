// brontaflex-cli list: every FTDI device each driver backend sees, so that a
// user can tell which POD is which, and why one cannot be used.
#include <algorithm>
#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/UsageError.h"
#include "ops/DriverSelection.h"
#include "ops/OperationOutcome.h"
#include "ops/PortText.h"
#include "pod/Clock.h"

namespace {

const std::array<CliOption, 2> kOptions{{
#ifdef __linux__
    {"--driver", "NAME",
     "list only this backend: d2xx, tty, tty:/dev/PATH or emulator (default: BRONTAFLEX_DRIVER, "
     "else d2xx and tty)"},
#else
    {"--driver", "NAME",
     "list only this backend: d2xx or emulator (default: BRONTAFLEX_DRIVER, else d2xx)"},
#endif
    {"--json", "", "print one JSON object"},
}};

struct BackendPorts {
  std::string backend;
  bool loaded = false;
  std::string loadProblem;  // why it did not load, and where it was looked for
  std::vector<PortDetails> ports;
};

// The backends to ask: the one named, else every one this system has.
std::vector<std::string> BackendNames(const CliArgs& args) {
  const std::string named = args.Value("--driver").value_or(DriverNameFromEnvironment());
  if (!named.empty()) {
    return {named};
  }
#ifdef __linux__
  return {"d2xx", "tty"};
#else
  return {"d2xx"};
#endif
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
    PortDriver& driver = *selection.driver;
    BackendPorts backend{driver.Name(), driver.Load(), {}, {}};
    if (backend.loaded) {
      backend.ports = driver.ListPorts();
      driver.Unload();
    } else {
      backend.loadProblem = driver.LoadProblem();
    }
    seen.push_back(std::move(backend));
  }
  // Nothing could be listed at all: the driver is missing, as pod-info says.
  const bool anyLoaded =
      std::ranges::any_of(seen, [](const BackendPorts& backend) { return backend.loaded; });
  const int exitCode = anyLoaded ? kExitOk : static_cast<int>(OperationOutcome::DriverNotLoaded);
  if (args.Has("--json")) {
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    nlohmann::ordered_json backends = nlohmann::ordered_json::array();
    for (const BackendPorts& backend : seen) {
      for (const PortDetails& port : backend.ports) {
        ports.push_back(PortJson(backend.backend, port));
      }
      backends.push_back({{"backend", backend.backend},
                          {"loaded", backend.loaded},
                          {"loadProblem", backend.loadProblem}});
    }
    std::cout << JsonText(nlohmann::ordered_json{
                     {"command", "list"}, {"ports", ports}, {"backends", backends}})
              << '\n';
    return exitCode;
  }
  bool any = false;
  for (const BackendPorts& backend : seen) {
    if (!backend.loaded) {
      std::cerr << backend.backend << ": the driver is missing"
                << (backend.loadProblem.empty() ? "" : ": " + backend.loadProblem) << '\n';
    }
    for (const PortDetails& port : backend.ports) {
      std::cout << backend.backend << ' ' << PortLine(port) << '\n';
      any = true;
    }
  }
  if (!any && anyLoaded) {
    std::cerr << "No FTDI device seen\n";
  }
  return exitCode;
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
        "open it. A backend whose driver is missing says so, and why, on stderr.\n"
        "With --json: one object {\"command\": \"list\", \"ports\": [...],\n"
        "\"backends\": [...]}, each port with backend, port, description, serialNumber,\n"
        "latencyMs (null when unknown), kernelDriver, accessible and accessProblem,\n"
        "each backend with backend, loaded and loadProblem.\n\n"
        "Exit status:\n"
        "  0   listed (also when there is nothing to list)\n"
        "  20  no backend's driver could be loaded\n"
        "  64  bad usage, or a driver that cannot be set up\n"
        "  74  the output could not be written\n",
    .options = kOptions,
    .run = Run,
};
