#include "app/ops/DriverSelection.h"

#include <cstdlib>
#include <system_error>

#include "emulator/EmulatorDriver.h"
#include "pod/D2xxDriver.h"
#ifdef __linux__
#include "pod/TtyDriver.h"
#endif

namespace {

constexpr std::string_view kTtyPrefix = "tty:";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

DriverSelection Chosen(std::unique_ptr<FtdiDriver> driver) {
  return {std::move(driver), {}};
}

DriverSelection Emulator(Clock& clock, const EmulatorSetup& setup) {
  EmulatorConfig config;
  config.pod.targetMcuType = setup.targetMcuType;
  config.timing.enabled = setup.wireTiming;
  if (!setup.statePath.empty()) {
    // The POD saves its state there; a missing folder would lose it silently.
    std::error_code ignored;
    std::filesystem::create_directories(setup.statePath.parent_path(), ignored);
    config.pod.statePath = setup.statePath.string();
  }
  auto driver = std::make_unique<EmulatorDriver>(clock, std::move(config));
  if (!driver->LoadError().empty()) {
    return {nullptr, driver->LoadError()};
  }
  return Chosen(std::move(driver));
}

DriverSelection Default() {
  auto d2xx = std::make_unique<D2xxDriver>();
#ifdef __linux__
  // Only probing: PodLink loads the driver it is given.
  const bool vendorLibrary = d2xx->Load();
  d2xx->Unload();
  if (!vendorLibrary) {
    return Chosen(std::make_unique<TtyDriver>());
  }
#endif
  return Chosen(std::move(d2xx));
}

}  // namespace

DriverSelection SelectDriver(std::string_view name, Clock& clock, const EmulatorSetup& emulator) {
  if (name.empty()) {
    return Default();
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

std::string DriverNameFromEnvironment() {
  return Environment("BRONTAFLEX_DRIVER");
}

std::filesystem::path EmulatorStatePathFromEnvironment() {
  if (const std::string explicitPath = Environment("BRONTAFLEX_EMULATOR_STATE");
      !explicitPath.empty()) {
    return explicitPath;
  }
  std::filesystem::path stateHome = Environment("XDG_STATE_HOME");
  if (stateHome.empty()) {
    const std::string home = Environment("HOME");
    if (home.empty()) {
      return {};
    }
    stateHome = std::filesystem::path(home) / ".local" / "state";
  }
  return stateHome / "brontaflex" / "emulated-pod";
}

EmulatorSetup EmulatorSetupFromEnvironment(uint8_t targetMcuType) {
  return {EmulatorStatePathFromEnvironment(), targetMcuType,
          Environment("BRONTAFLEX_EMULATOR_TIMING") == "1"};
}
