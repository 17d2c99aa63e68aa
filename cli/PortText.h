// How the command line words a device a driver sees, for `list` and for the
// lines that follow a failure to find, choose or open the POD.
#pragma once

#include <string>
#include <string_view>

#include "pod/FtdiDriver.h"

// `/dev/ttyUSB0 "Brontaflex POD" serial BFX00001, latency 16 ms, ftdi_sio`,
// followed by why this user cannot open it.
std::string PortLine(const PortDetails& port);
