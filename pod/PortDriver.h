// What PodLink needs of whatever reaches the POD's USB serial bridge: the
// vendor's D2XX library, Linux's own FTDI driver or the POD emulator. A driver
// lists the ports it sees and opens one; the open port carries the bytes.
//
// Every call returns a status, 0 on success. The other values are the vendor
// library's, which the failure texts show as "driver status N"; our own
// backends report the same numbers for the same faults.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using PortStatus = uint32_t;

inline constexpr PortStatus kPortOk = 0;
inline constexpr PortStatus kPortInvalidHandle = 1;
inline constexpr PortStatus kPortNotFound = 2;
inline constexpr PortStatus kPortNotOpened = 3;
inline constexpr PortStatus kPortIoError = 4;
inline constexpr PortStatus kPortInvalidParameter = 6;
inline constexpr PortStatus kPortOtherError = 18;

// What Purge discards, one bit each.
inline constexpr uint32_t kPurgeReceived = 1;
inline constexpr uint32_t kPurgeUnsent = 2;

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

// Which port to open: the first whose bridge reports this USB description, or
// the one with this USB serial number.
struct PortKey {
  enum class By { Description, SerialNumber };
  By by = By::Description;
  std::string text;
};

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };

// How the serial line is set up.
struct PortSettings {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  uint8_t stopBits = 1;
  Parity parity = Parity::None;
  bool handshake = false;      // RTS/CTS flow control
  uint32_t readTimeoutMs = 0;  // how long a Read waits for its bytes
  uint32_t writeTimeoutMs = 0;
};

// An open port; destroying it closes it. It must not outlive its driver.
class Port {
 public:
  virtual ~Port() = default;

  // Resets the bridge and sets the line up; what was queued may be lost.
  virtual PortStatus Configure(const PortSettings& settings) = 0;
  // The bridge's latency timer: how long it holds back a short reply.
  virtual PortStatus GetLatency(uint8_t& milliseconds) = 0;
  virtual PortStatus SetLatency(uint8_t milliseconds) = 0;
  // Returns once the bytes have been handed on to the line (as the vendor
  // driver's write does), or after the write time-out.
  virtual PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) = 0;
  // Waits up to the read time-out for `length` bytes; `returned` may be less.
  virtual PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) = 0;
  // Received bytes waiting to be read.
  virtual PortStatus BytesWaiting(uint32_t& received) = 0;
  // Written bytes that have not left yet.
  virtual PortStatus BytesUnsent(uint32_t& unsent) = 0;
  // Discards the queues `which` names (kPurgeReceived, kPurgeUnsent).
  virtual PortStatus Purge(uint32_t which) = 0;
};

class PortDriver {
 public:
  virtual ~PortDriver() = default;

  // Makes the driver usable (loads the library, checks the kernel driver...).
  // False means no POD can be reached through this backend.
  virtual bool Load() = 0;
  virtual void Unload() = 0;
  // What the status line and --help call this backend ("d2xx", "tty", ...).
  virtual std::string Name() const = 0;
  // Every device this backend sees, in its own order, without opening any.
  virtual std::vector<PortDetails> ListPorts() = 0;
  // Opens the port `key` names; `port` stays empty unless the status is 0.
  virtual PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) = 0;

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
