// Linux's own FTDI driver (ftdi_sio) as a driver backend: POD bridges are found
// through sysfs by their USB product string and driven as ttyUSB serial ports,
// so nothing has to be installed besides the kernel.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pod/FtdiDriver.h"

class TtyDriver final : public FtdiDriver {
 public:
  // Whose access rights DescribePorts judges the device nodes by.
  struct User {
    uid_t uid;
    std::vector<gid_t> groups;  // the primary group and the supplementary ones
    static User OfThisProcess();
  };

  // The calls on an open port that a pseudo-terminal cannot play as a USB
  // bridge does: it has no modem lines, its output queue always reads empty
  // and it keeps any speed it is given. The system's calls unless a test
  // puts its own in. Each returns 0, or -1 with errno set.
  class PortCalls {
   public:
    virtual ~PortCalls() = default;
    virtual int GetAttributes(int fd, termios& settings);        // tcgetattr
    virtual int SetAttributes(int fd, const termios& settings);  // tcsetattr, at once
    virtual int OutputQueued(int fd, int& bytes);                // TIOCOUTQ
    virtual int SetModemLines(int fd, int lines);                // TIOCMSET
  };

  // Lists every ttyUSB* of <sysfsRoot>/class/tty under its USB product string
  // and serial number and opens it as <devRoot>/<name>.
  explicit TtyDriver(std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                     User user = User::OfThisProcess());
  // The serial device at `devicePath` is the POD, whatever its bridge reports:
  // it is listed alone, under the POD's description.
  static std::unique_ptr<TtyDriver> ForDevice(std::string devicePath,
                                              std::string sysfsRoot = "/sys");
  ~TtyDriver() override;
  TtyDriver(const TtyDriver&) = delete;
  TtyDriver& operator=(const TtyDriver&) = delete;

  // Replaces the system's port calls; only for ports opened from now on.
  void SetPortCalls(std::shared_ptr<PortCalls> calls) { calls_ = std::move(calls); }

  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "tty"; }

  FtStatus ListDeviceCount(uint32_t& count) override;
  FtStatus ListDeviceDescription(uint32_t index, char (&description)[kFtDescriptionSize]) override;
  FtStatus ListDeviceSerialNumber(uint32_t index,
                                  char (&serialNumber)[kFtSerialNumberSize]) override;
  FtStatus OpenByDescription(const char* description, FtHandle& handle) override;
  FtStatus OpenBySerialNumber(const char* serialNumber, FtHandle& handle) override;
  // Each port's device node, latency_timer, kernel driver and whether this
  // user may open it, judged by the node's owner, group and mode.
  std::vector<PortDetails> DescribePorts() override;
  // Every FTDI bridge (vendor 0403) on the USB bus, with or without a port.
  std::vector<UsbBridge> DescribeUsbBridges() const;
  FtStatus ResetDevice(FtHandle handle) override;
  // The latency comes from the latency_timer attribute; where there is none, the
  // port's low-latency flag stands for 1 ms and its absence for the usual 16 ms.
  FtStatus GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) override;
  // Writes the latency_timer attribute, or where that cannot be written asks for
  // the port's low-latency mode, then reads the timer back: a value other
  // than the one asked for fails, FailureDetail saying what was found.
  FtStatus SetLatencyTimer(FtHandle handle, uint8_t milliseconds) override;
  // Sets the speed and reads it back: a port that kept another (a serial
  // port that cannot go that fast) fails, FailureDetail saying which.
  FtStatus SetBaudRate(FtHandle handle, uint32_t baud) override;
  // Only the POD's line, 8 data bits, 1 stop bit, no parity, is offered.
  FtStatus SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                  uint8_t parity) override;
  // Only "no flow control" is offered.
  FtStatus SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t xon,
                          uint8_t xoff) override;
  // A time-out of 0 means no waiting at all.
  FtStatus SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) override;
  // The transmit queue is given up to PodLink::kDrainTimeoutMs to empty
  // before it is purged, so that a frame already sent is not taken back, yet a
  // POD that stopped reading cannot hold the program.
  FtStatus Purge(FtHandle handle, uint32_t mask) override;
  // Returns once the bytes have left the kernel's queue, or at the write time-out.
  FtStatus Write(FtHandle handle, const void* bytes, uint32_t length, uint32_t& written) override;
  FtStatus GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                     uint32_t& events) override;
  FtStatus Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) override;
  FtStatus GetQueueStatus(FtHandle handle, uint32_t& rxQueue) override;
  // Gives what is queued the same bounded time to leave as Purge, drops what
  // has not, and closes; the modem lines stay as they are (no HUPCL).
  FtStatus Close(FtHandle handle) override;
  // Another program holds the port, by its lock or TIOCEXCL.
  std::string PortBusy() const override { return portBusy_; }
  std::string FailureDetail() const override { return failureDetail_; }

 private:
  struct Device {
    std::string description;       // the USB product string
    std::string serialNumber;      // the USB serial attribute beside it
    std::string path;              // the device node
    std::string latencyAttribute;  // the sysfs latency_timer file
    std::string kernelDriver;
  };
  struct Port;

  std::vector<Device> Enumerate() const;
  std::filesystem::path PortDeviceOf(const std::string& ttyName) const;
  // What sysfs tells of the tty `ttyName`, opened as `path`.
  Device DeviceOf(const std::string& ttyName, std::string path) const;
  // Why this user cannot open `path`; empty when it can.
  std::string AccessProblem(const std::string& path) const;
  // Opens the first device that `matches`, as the vendor driver does.
  FtStatus OpenFirst(const std::function<bool(const Device&)>& matches, FtHandle& handle);
  Port* PortOf(FtHandle handle);
  // Applies `change` to the port's line settings; false from `change` refuses.
  FtStatus ChangeLine(const Port& port, const std::function<bool(termios&)>& change);
  // Waits up to PodLink::kDrainTimeoutMs for the port's output queue to
  // empty; true when it did.
  bool DrainOutput(const Port& port);

  std::string sysfsRoot_;
  std::string devRoot_;
  User user_;
  std::string fixedDevice_;     // set for a device named by the user
  std::vector<Device> listed_;  // as of the last ListDeviceCount
  std::vector<std::unique_ptr<Port>> ports_;
  std::string portBusy_;       // as of the last open
  std::string failureDetail_;  // as of the last call that failed a read-back
  std::shared_ptr<PortCalls> calls_ = std::make_shared<PortCalls>();
};
