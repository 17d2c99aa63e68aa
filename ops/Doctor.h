// `brontaflex-cli doctor`: checks a set-up end to end, in the order a
// technician would, and says the fix for each failure: which driver backends
// load (and from where), the kernel driver and the access rights of each FTDI
// bridge, the latency timer, every POD seen, and for each POD the ping, the
// firmware version, the line speed and the target's reset.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pod/Clock.h"
#include "pod/PortDriver.h"

enum class CheckStatus : uint8_t {
  Ok,
  Warn,  // works, but not as well as it should (a slow latency timer, a backend passed over)
  Fail,  // a write cannot be made until it is fixed
};

struct DoctorCheck {
  std::string check;    // "driver", "kernel driver", "access", "latency", "pods", "ping"...
  std::string subject;  // what was checked: a backend, a node, a POD's serial number
  CheckStatus status = CheckStatus::Ok;
  std::string detail;  // what was found
  std::string fix;     // what to do about a warning or failure; empty when nothing
};

struct DoctorSetup {
  // The backends to try, in the order the default choice of driver tries them.
  std::vector<std::unique_ptr<PortDriver>> backends;
  // The FTDI bridges on the USB bus (Linux's sysfs); none where it cannot be asked.
  std::function<std::vector<UsbBridge>()> usbBridges;
  // The POD's udev rule files in place, for the fixes.
  std::vector<std::string> installedRules;
};

// Runs every check, handing each to `report` as it is made (a POD check can
// take seconds); true when nothing failed, so a write has what it needs.
bool RunDoctor(DoctorSetup& setup, Clock& clock, const std::function<void(DoctorCheck)>& report);

// "ok", "warn", "FAIL".
std::string_view CheckStatusName(CheckStatus status);
