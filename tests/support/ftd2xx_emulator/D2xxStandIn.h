// How a test names the D2XX stand-in to the d2xx backend. On Windows it goes
// by the vendor's bare file name, found through the DLL search path as the
// installed library is, so the backend's own lookup is what the test drives;
// elsewhere by its path.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>

#include "image/Utf8Path.h"
#include "pod/D2xxDriver.h"
#endif

inline std::string D2xxStandIn() {
#ifdef _WIN32
  SetDllDirectoryW(PathFromUtf8(FTD2XX_EMULATOR_DIR).c_str());
  return D2xxDriver::kDefaultLibrary;
#else
  return FTD2XX_EMULATOR_PATH;
#endif
}
