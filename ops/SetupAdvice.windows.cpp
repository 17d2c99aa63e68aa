#include "ops/SetupAdvice.h"

std::string PermissionFix(const std::string&, const std::vector<std::string>&) {
  return "install FTDI's D2XX driver (CDM package) so that Windows gives the POD to it";
}

std::string LatencyFix(const std::vector<std::string>&) {
  return "set the latency timer to 1 ms in Device Manager (the POD's USB Serial Port, Port "
         "Settings, Advanced)";
}

std::string MissingDriverFix(const std::string& backend) {
  if (backend != "d2xx") {
    return {};
  }
  return "install FTDI's D2XX driver (the CDM package), which puts ftd2xx.dll in System32";
}
