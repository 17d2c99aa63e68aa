#include "cli/DeviceOption.h"

std::optional<McuType> ReadDeviceOption(const CliArgs& args, std::string& error) {
  const auto device = args.Value("--device");
  if (!device) {
    return kDefaultMcuType;
  }
  const std::optional<McuType> found = FindMcuType(*device);
  if (!found) {
    error = "unknown device " + *device + " (" + std::string(kDeviceChoices.view()) + ")";
  }
  return found;
}
