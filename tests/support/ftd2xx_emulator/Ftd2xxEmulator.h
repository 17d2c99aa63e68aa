// A stand-in for the vendor's D2XX library (libftd2xx-emulator.so): it exports
// the D2XX functions the link uses over the driver a test attaches, normally an
// EmulatorDriver: it lists and opens that driver's ports, and each handle it
// gives out is an open port. With none attached it behaves as a system without
// FTDI devices.
//
// A test loads the library by path (FTD2XX_EMULATOR_PATH in tests that link
// ftd2xx_emulator_path), looks up kAttachDriverSymbol, attaches its emulator,
// and hands the same path to the d2xx backend.
#pragma once

#include "pod/PortDriver.h"

inline constexpr char kAttachDriverSymbol[] = "BrontaflexAttachDriver";
// Passing nullptr detaches. Either closes the ports opened through the driver
// attached before, which must outlive its attachment.
using AttachDriverFunction = void (*)(PortDriver* driver);
