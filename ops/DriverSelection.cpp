#include "ops/DriverSelection.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "emulator/EmulatorDriver.h"
#include "emulator/EmulatorRack.h"
#include "image/Utf8Path.h"
#include "ops/Environment.h"
#include "pod/D2xxDriver.h"
#include "pod/PodLink.h"
#include "pod/TraceFile.h"
#include "pod/TracingDriver.h"
#ifdef __linux__
#include "pod/TtyDriver.h"
#endif

namespace {

constexpr std::string_view kTtyPrefix = "tty:";

DriverSelection Chosen(std::unique_ptr<PortDriver> driver) {
  return {std::move(driver), {}};
}

// "BFX00001" for the first POD.
std::string EmulatedSerialNumber(unsigned pod) {
  char text[16];
  std::snprintf(text, sizeof text, "BFX%05u", pod + 1);
  return text;
}

EmulatorConfig EmulatedPod(const EmulatorSetup& setup, unsigned pod) {
  EmulatorConfig config;
  config.pod.targetMcuType = setup.targetMcuType;
  config.timing.enabled = setup.wireTiming;
  config.serialNumbers = {EmulatedSerialNumber(pod)};
  if (!setup.statePath.empty()) {
    // The POD saves its state there; a missing folder would lose it silently.
    std::error_code ignored;
    std::filesystem::create_directories(setup.statePath.parent_path(), ignored);
    config.pod.statePath = Utf8FromPath(setup.statePath);
    if (pod > 0) {
      config.pod.statePath += "-" + config.serialNumbers.front();
    }
  }
  return config;
}

template <typename Emulated>
DriverSelection Loaded(std::unique_ptr<Emulated> driver) {
  if (std::string error = driver->LoadError(); !error.empty()) {
    return {nullptr, std::move(error)};
  }
  return Chosen(std::move(driver));
}

DriverSelection Emulator(Clock& clock, const EmulatorSetup& setup) {
  if (setup.podCount == 0 || setup.podCount > kMaxEmulatedPods) {
    return {nullptr, "The emulator plays 1 to " + std::to_string(kMaxEmulatedPods) +
                         " PODs (BRONTAFLEX_EMULATOR_PODS)"};
  }
  if (setup.podCount == 1) {
    return Loaded(std::make_unique<EmulatorDriver>(clock, EmulatedPod(setup, 0)));
  }
  std::vector<EmulatorConfig> pods;
  for (unsigned pod = 0; pod < setup.podCount; ++pod) {
    pods.push_back(EmulatedPod(setup, pod));
  }
  return Loaded(std::make_unique<EmulatorRack>(clock, pods));
}

// Why a backend that sees `ports` cannot open the POD `pod`.
std::string WhyNotOpened(const std::vector<PortDetails>& ports, std::string_view pod,
                         PortStatus status) {
  const bool seen = std::ranges::any_of(ports, [&](const PortDetails& port) {
    return port.description == PodLink::kPodDescription &&
           (pod.empty() || port.serialNumber == pod);
  });
  const std::string which = pod.empty() ? "the POD" : "the POD " + std::string(pod);
  if (!seen) {
    return "it sees no " + std::string(pod.empty() ? "POD" : "POD " + std::string(pod));
  }
  std::string why =
      "it sees " + which + " but cannot open it (driver status " + std::to_string(status) + ")";
#ifdef __linux__
  why += ": ftdi_sio holds it, this user may not open its USB device, or another program has it";
#endif
  return why;
}

DriverSelection Default(std::string_view pod) {
  DriverSelection selection;
  auto d2xx = std::make_unique<D2xxDriver>();
  // Only probing: PodLink loads the driver it is given.
  selection.probes.push_back(ProbeBackend(*d2xx, pod));
#ifdef __linux__
  if (!selection.probes.back().used) {
    auto tty = std::make_unique<TtyDriver>();
    BackendProbe probe{tty->Name(), true, "the kernel's own FTDI driver", {}};
    if (tty->Load()) {
      probe.ports = tty->ListPorts();
      tty->Unload();
    }
    selection.probes.push_back(std::move(probe));
    selection.driver = std::move(tty);
    return selection;
  }
#endif
  selection.probes.back().used = true;
  selection.driver = std::move(d2xx);
  return selection;
}

}  // namespace

BackendProbe ProbeBackend(PortDriver& driver, std::string_view pod) {
  BackendProbe probe{driver.Name(), false, {}, {}};
  if (!driver.Load()) {
    const std::string problem = driver.LoadProblem();
    probe.why = problem.empty() ? "it does not load" : problem;
    return probe;
  }
  probe.ports = driver.ListPorts();
  const PortKey key = pod.empty() ? PortKey{PortKey::By::Description, PodLink::kPodDescription}
                                  : PortKey{PortKey::By::SerialNumber, std::string(pod)};
  std::unique_ptr<Port> port;
  const PortStatus status = driver.Open(key, port);
  probe.used = status == kPortOk && port != nullptr;
  port.reset();
  if (probe.used) {
    probe.why = "it opens the POD";
  } else {
    probe.why = WhyNotOpened(probe.ports, pod, status);
  }
  driver.Unload();
  return probe;
}

DriverSelection SelectDriver(std::string_view name, Clock& clock, const EmulatorSetup& emulator,
                             std::string_view pod) {
  if (name.empty()) {
    return Default(pod);
  }
  if (name == "d2xx") {
    return Chosen(std::make_unique<D2xxDriver>());
  }
  if (name == "emulator") {
    return Emulator(clock, emulator);
  }
#ifdef __linux__
  if (name == "tty") {
    return Chosen(std::make_unique<TtyDriver>());
  }
  if (name.starts_with(kTtyPrefix) && name.size() > kTtyPrefix.size()) {
    return Chosen(TtyDriver::ForDevice(std::string(name.substr(kTtyPrefix.size()))));
  }
#endif
  return {nullptr,
          "Unknown driver \"" + std::string(name) + "\"; use one of " + std::string(kDriverNames)};
}

bool IsPortPath(std::string_view pod) {
  return pod.starts_with('/');
}

DriverSelection SelectDriverFor(std::string_view name, std::string_view pod, Clock& clock,
                                const EmulatorSetup& emulator) {
  if (IsPortPath(pod)) {
    if (!name.empty() && name != "tty" && !name.starts_with(kTtyPrefix)) {
      return {nullptr,
              "The port " + std::string(pod) + " needs the tty driver, not " + std::string(name)};
    }
    return SelectDriver(std::string(kTtyPrefix) + std::string(pod), clock, emulator);
  }
  if (name.empty()) {
    return Default(pod);
  }
  if (name == "emulator") {
    for (unsigned index = 0; index < emulator.podCount && index < kMaxEmulatedPods; ++index) {
      if (EmulatedSerialNumber(index) == pod) {
        return Loaded(std::make_unique<EmulatorDriver>(clock, EmulatedPod(emulator, index)));
      }
    }
  }
  return SelectDriver(name, clock, emulator);
}

DriverSelection Traced(DriverSelection selection, const std::filesystem::path& tracePath) {
  if (!selection.driver || tracePath.empty()) {
    return selection;
  }
  // A trace named in the environment stays named from run to run: each
  // replaces the last.
  std::string error;
  std::shared_ptr<std::ostream> trace = OpenTraceFile(tracePath, ExistingTrace::Replace, error);
  if (!trace) {
    return {nullptr, error};
  }
  selection.driver = std::make_unique<TracingDriver>(std::move(selection.driver), std::move(trace));
  return selection;
}

std::string DriverNameFromEnvironment() {
  return EnvironmentValue("BRONTAFLEX_DRIVER");
}

std::filesystem::path EmulatorStatePathFromEnvironment() {
  if (const std::string explicitPath = EnvironmentValue("BRONTAFLEX_EMULATOR_STATE");
      !explicitPath.empty()) {
    return PathFromUtf8(explicitPath);
  }
  const std::filesystem::path stateFolder = UserStateFolder();
  if (stateFolder.empty()) {
    return {};
  }
  return stateFolder / "brontaflex" / "emulated-pod";
}

EmulatorSetup EmulatorSetupFromEnvironment(McuType targetMcuType) {
  return {EmulatorStatePathFromEnvironment(), targetMcuType,
          EnvironmentValue("BRONTAFLEX_EMULATOR_TIMING") == "1", EmulatorPodCountFromEnvironment()};
}

unsigned EmulatorPodCountFromEnvironment() {
  const std::string text = EnvironmentValue("BRONTAFLEX_EMULATOR_PODS");
  if (text.empty()) {
    return 1;
  }
  unsigned count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  return error == std::errc() && end == text.data() + text.size() ? count : 0;
}

std::filesystem::path TracePathFromEnvironment() {
  return PathFromUtf8(EnvironmentValue("BRONTAFLEX_TRACE"));
}

std::string LogPathFromEnvironment() {
  return EnvironmentValue("BRONTAFLEX_LOG");
}

std::string PodSerialNumberFromEnvironment() {
  return EnvironmentValue("BRONTAFLEX_POD");
}

std::filesystem::path CliPresetsPathFromEnvironment() {
  const std::filesystem::path folder = UserConfigFolder();
  return folder.empty() ? folder : folder / "brontaflex" / "cli.ini";
}

std::string CsmKeysFromEnvironment() {
  return EnvironmentValue("BRONTAFLEX_CSM");
}
