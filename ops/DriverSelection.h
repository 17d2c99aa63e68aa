// Which FTDI driver backend the programs talk through: the vendor's D2XX library
// when it loads, else Linux's own FTDI driver, unless BRONTAFLEX_DRIVER (or the
// command line's --driver) names one: d2xx, tty, tty:/dev/PATH or emulator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/McuCatalogue.h"
#include "ops/BackendProbe.h"
#include "pod/Clock.h"
#include "pod/PortDriver.h"

// The names accepted, for --help and error messages.
#ifdef __linux__
inline constexpr std::string_view kDriverNames = "d2xx, tty, tty:/dev/PATH, emulator";
#else
inline constexpr std::string_view kDriverNames = "d2xx, emulator";
#endif

// How the emulated POD is set up when the emulator is chosen.
struct EmulatorSetup {
  // Where the POD keeps its serial flash between runs; empty: it starts blank
  // and forgets at exit.
  std::filesystem::path statePath;
  // The device on the emulated target board.
  McuType targetMcuType = kDefaultMcuType;
  // The line at 921600 baud and the POD's working times, as a real one takes
  // them; off: every reply is there at once.
  bool wireTiming = false;
  // How many PODs are attached, with serial numbers BFX00001, BFX00002...
  // Each further POD keeps its serial flash beside the first one's, in
  // statePath followed by "-" and its serial number.
  unsigned podCount = 1;
};

inline constexpr unsigned kMaxEmulatedPods = 16;

struct DriverSelection {
  std::unique_ptr<PortDriver> driver;  // null when the name is not known
  std::string error;                   // why, for the user
  // For the default choice, each backend asked, in order; empty when the
  // backend was named.
  std::vector<BackendProbe> probes = {};
};

// Whether `driver` can open the POD `pod` now (the first POD when empty):
// it is loaded, asked to open it, and closed and unloaded again; what it saw
// and why it cannot. The default choice takes the vendor library only where
// it can: on a stock Linux system ftdi_sio holds the bridge, and the library
// then lists the POD but cannot open it.
BackendProbe ProbeBackend(PortDriver& driver, std::string_view pod = {});

// The backend named `name`; an empty name picks the default, probing for the
// POD `pod` (a serial number; the first POD when empty). `clock` must outlive
// the driver (the emulator measures its time-outs on it).
DriverSelection SelectDriver(std::string_view name, Clock& clock,
                             const EmulatorSetup& emulator = {}, std::string_view pod = {});

// Whether `pod` names a port ("/dev/ttyUSB0") rather than a serial number.
bool IsPortPath(std::string_view pod);

// A driver of its own for the one POD `pod`, a serial number or a port path,
// as each POD of a run on several gets one, so that no two threads share a
// driver. A port path is the tty backend on that device, whatever the name
// (an error for another backend); the emulator plays only the POD with that
// serial number, or all of them when it has none by that number, so that
// the POD is not found and the user sees what is there.
DriverSelection SelectDriverFor(std::string_view name, std::string_view pod, Clock& clock,
                                const EmulatorSetup& emulator = {});

// `selection`'s driver with every frame traced to the file `tracePath`
// (created, or an existing file emptied; never a link, FIFO or device, see
// OpenTraceFile); the selection unchanged when the path is empty, and without
// a driver when the file cannot be written.
DriverSelection Traced(DriverSelection selection, const std::filesystem::path& tracePath);

// The value of BRONTAFLEX_DRIVER, empty when unset.
std::string DriverNameFromEnvironment();
// Where the command line's emulated POD keeps its serial flash, so that
// separate runs see the same POD: BRONTAFLEX_EMULATOR_STATE, else
// $XDG_STATE_HOME/brontaflex/emulated-pod (~/.local/state when XDG_STATE_HOME
// is unset; %LOCALAPPDATA% on Windows); empty when there is no home to put it in.
std::filesystem::path EmulatorStatePathFromEnvironment();
// The emulated POD as both programs set it up from the environment: its state
// file, the device on its target board, and its model of time on the wire
// when BRONTAFLEX_EMULATOR_TIMING is 1.
EmulatorSetup EmulatorSetupFromEnvironment(McuType targetMcuType);
// BRONTAFLEX_EMULATOR_PODS: how many PODs the emulator plays; 1 when unset,
// 0 when it is not a number.
unsigned EmulatorPodCountFromEnvironment();
// BRONTAFLEX_TRACE: where to trace the wire; empty when unset.
std::filesystem::path TracePathFromEnvironment();
// BRONTAFLEX_LOG: the run log to append to (UTF-8); empty when unset.
std::string LogPathFromEnvironment();
// BRONTAFLEX_POD: the serial number of the POD to use; empty when unset.
std::string PodSerialNumberFromEnvironment();
// The command line's own presets file: $XDG_CONFIG_HOME/brontaflex/cli.ini
// (~/.config when XDG_CONFIG_HOME is unset; %APPDATA% on Windows); empty when
// there is no home to put it in.
std::filesystem::path CliPresetsPathFromEnvironment();
// BRONTAFLEX_CSM: the command line's CSM keys, as --csm takes them; empty when unset.
std::string CsmKeysFromEnvironment();
