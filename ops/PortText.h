// How a device a driver sees is worded, for the command line's `list` and for the
// lines that follow a failure to find, choose or open the POD, there and in the window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ops/BackendProbe.h"
#include "pod/PortDriver.h"

// `/dev/ttyUSB0 "Brontaflex POD" serial BFX00001, latency 16 ms, ftdi_sio`,
// followed by why this user cannot open it.
std::string PortLine(const PortDetails& port);

// What follows a failure to find, choose or open the POD: "seen: " and the
// line of each device the driver sees, then "fix: " and what to do when this
// user may not open one of them.
std::vector<std::string> PortsSeenLines(const std::vector<PortDetails>& ports);

// What each backend the default choice passed over saw and why it was not
// used: "not used: d2xx: ..." and a "seen by d2xx: " line for each device.
std::vector<std::string> BackendsPassedOverLines(const std::vector<BackendProbe>& probes);
