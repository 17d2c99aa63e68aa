// How a device a driver sees is worded, for the command line's `list` and for the
// lines that follow a failure to find, choose or open the POD, there and in the window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pod/FtdiDriver.h"

// What a user who may not open the POD's port does about it.
inline constexpr std::string_view kPermissionFix =
    "install packaging/linux/60-brontaflex-pod.rules in /etc/udev/rules.d and plug the POD in "
    "again, or join the port's group (sudo usermod -aG dialout $USER) and log in again";

// What a user whose POD's latency timer stays above 1 ms does about it.
inline constexpr std::string_view kLatencyFix =
    "install packaging/linux/60-brontaflex-pod.rules in /etc/udev/rules.d, which sets it to 1 ms";

// `/dev/ttyUSB0 "Brontaflex POD" serial BFX00001, latency 16 ms, ftdi_sio`,
// followed by why this user cannot open it.
std::string PortLine(const PortDetails& port);

// What follows a failure to find, choose or open the POD: "seen: " and the
// line of each device the driver sees, then "fix: " and what to do when this
// user may not open one of them.
std::vector<std::string> PortsSeenLines(const std::vector<PortDetails>& ports);
