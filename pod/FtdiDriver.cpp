#include "pod/FtdiDriver.h"

#include <utility>

std::vector<PortDetails> FtdiDriver::DescribePorts() {
  std::vector<PortDetails> ports;
  uint32_t count = 0;
  if (ListDeviceCount(count) != kFtOk) {
    return ports;
  }
  for (uint32_t index = 0; index < count; ++index) {
    char description[kFtDescriptionSize] = {};
    char serialNumber[kFtSerialNumberSize] = {};
    if (ListDeviceDescription(index, description) != kFtOk) {
      continue;
    }
    description[kFtDescriptionSize - 1] = '\0';
    if (ListDeviceSerialNumber(index, serialNumber) == kFtOk) {
      serialNumber[kFtSerialNumberSize - 1] = '\0';
    } else {
      serialNumber[0] = '\0';
    }
    PortDetails port;
    port.port = "#" + std::to_string(index);
    port.description = description;
    port.serialNumber = serialNumber;
    ports.push_back(std::move(port));
  }
  return ports;
}
