// How a test names the D2XX stand-in to the d2xx backend: by its path. The
// backend looks a bare file name up only where the system keeps its own
// libraries, so the stand-in, named ftd2xx.dll on Windows, is never found by
// name outside System32.
#pragma once

#include <string>

inline std::string D2xxStandIn() {
  return FTD2XX_EMULATOR_PATH;
}
