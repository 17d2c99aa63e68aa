// The D2XX operations that PodLink uses, as one interface, so that the vendor
// library, Linux's own FTDI driver and the POD emulator can stand in for each
// other. Every call returns the driver's status: 0 (FT_OK) is success.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using FtStatus = uint32_t;
using FtHandle = void*;

inline constexpr FtStatus kFtOk = 0;
// Status codes a backend of ours reports; the vendor library has its own set.
inline constexpr FtStatus kFtInvalidHandle = 1;
inline constexpr FtStatus kFtDeviceNotFound = 2;
inline constexpr FtStatus kFtDeviceNotOpened = 3;
inline constexpr FtStatus kFtIoError = 4;
inline constexpr FtStatus kFtInvalidParameter = 6;
inline constexpr FtStatus kFtOtherError = 18;

inline constexpr uint32_t kFtPurgeRx = 1;
inline constexpr uint32_t kFtPurgeTx = 2;
inline constexpr size_t kFtDescriptionSize = 64;
// The vendor's serial number buffer holds 16 bytes; ours takes the same size
// as a description so that one buffer type serves both.
inline constexpr size_t kFtSerialNumberSize = kFtDescriptionSize;

// One device a backend sees, as `brontaflex-cli list` shows it.
struct PortDetails {
  std::string port;  // "/dev/ttyUSB0", or the enumeration index
  std::string description;
  std::string serialNumber;
  std::optional<unsigned> latencyMs;  // none when it cannot be read without opening
  std::string kernelDriver;           // the kernel driver bound to it; empty when unknown
  bool accessible = true;             // this user may open it
  std::string accessProblem;          // why not, in the system's words
  std::string group;                  // the group its device node belongs to; empty when unknown
};

// An FTDI bridge as the USB bus sees it, whichever backend may reach it.
struct UsbBridge {
  std::string name;           // the system's name for it, "1-4.2"
  std::string description;    // its USB product string; empty when it has none
  std::string serialNumber;   // its USB serial number; empty when it has none
  std::string kernelDriver;   // bound to its first interface ("ftdi_sio"); empty when none is
  std::string node;           // the node the D2XX library opens, /dev/bus/usb/BBB/DDD
  std::string accessProblem;  // why this user cannot open the node; empty when it can
  std::string group;          // the node's group; empty when unknown
};

class FtdiDriver {
 public:
  virtual ~FtdiDriver() = default;

  // Makes the driver usable (loads the library, checks the kernel driver...).
  // False means no POD can be reached through this backend.
  virtual bool Load() = 0;
  virtual void Unload() = 0;
  // What the status line and --help call this backend ("d2xx", "tty", ...).
  virtual std::string Name() const = 0;

  // FT_ListDevices with FT_LIST_NUMBER_ONLY.
  virtual FtStatus ListDeviceCount(uint32_t& count) = 0;
  // FT_ListDevices with FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION: writes the
  // NUL-terminated description of device `index` into `description`.
  virtual FtStatus ListDeviceDescription(uint32_t index,
                                         char (&description)[kFtDescriptionSize]) = 0;
  // FT_ListDevices with FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER.
  virtual FtStatus ListDeviceSerialNumber(uint32_t index,
                                          char (&serialNumber)[kFtSerialNumberSize]) = 0;
  // FT_OpenEx with FT_OPEN_BY_DESCRIPTION.
  virtual FtStatus OpenByDescription(const char* description, FtHandle& handle) = 0;
  // FT_OpenEx with FT_OPEN_BY_SERIAL_NUMBER.
  virtual FtStatus OpenBySerialNumber(const char* serialNumber, FtHandle& handle) = 0;
  // Every device this backend sees, without opening any. By default what the
  // enumeration tells, the port being the index; a backend that knows more
  // (the device node, its kernel driver, its access rights) says so.
  virtual std::vector<PortDetails> DescribePorts();
  virtual FtStatus ResetDevice(FtHandle handle) = 0;
  virtual FtStatus GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) = 0;
  virtual FtStatus SetLatencyTimer(FtHandle handle, uint8_t milliseconds) = 0;
  virtual FtStatus SetBaudRate(FtHandle handle, uint32_t baud) = 0;
  virtual FtStatus SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                          uint8_t parity) = 0;
  virtual FtStatus SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t xon,
                                  uint8_t xoff) = 0;
  virtual FtStatus SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) = 0;
  virtual FtStatus Purge(FtHandle handle, uint32_t mask) = 0;
  // Returns once the bytes have been handed on to the line (as the vendor
  // driver's write does), or after the write time-out.
  virtual FtStatus Write(FtHandle handle, const void* bytes, uint32_t length,
                         uint32_t& written) = 0;
  virtual FtStatus GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                             uint32_t& events) = 0;
  // Waits up to the read time-out for `length` bytes; `returned` may be less.
  virtual FtStatus Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) = 0;
  virtual FtStatus GetQueueStatus(FtHandle handle, uint32_t& rxQueue) = 0;
  virtual FtStatus Close(FtHandle handle) = 0;

  // After an open that failed because another program holds the
  // port: which port, and which process where the system tells. Empty after
  // any other outcome, and from backends that cannot tell.
  virtual std::string PortBusy() const { return {}; }
  // What the last call that failed found, where the backend can say more than
  // its status ("the port's speed reads back as 460800 baud, not 921600").
  // Empty when it cannot.
  virtual std::string FailureDetail() const { return {}; }
  // After a Load that failed: why, and where the library was looked for.
  // Empty when it loaded, and from backends that cannot tell.
  virtual std::string LoadProblem() const { return {}; }
  // While loaded: the file its library came from; empty for backends
  // without one.
  virtual std::string LoadedFrom() const { return {}; }
};
