// Linux's own FTDI driver (ftdi_sio) as a driver backend: POD bridges are found
// through sysfs by their USB product string and driven as ttyUSB serial ports,
// so nothing has to be installed besides the kernel.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "pod/PortDriver.h"

class TtyDriver final : public PortDriver {
 public:
  // Whose access rights ListPorts judges the device nodes by.
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

  // Each port's device node, latency_timer, kernel driver and whether this
  // user may open it, judged by the node's owner, group and mode.
  std::vector<PortDetails> ListPorts() override;
  // Opens the first port the key matches, as the vendor driver does, for this
  // program alone: one that another program holds is refused, PortBusy
  // naming the holder. Only the POD's line is offered (8N1, no flow control).
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;
  // Every FTDI bridge (vendor 0403) on the USB bus, with or without a port.
  std::vector<UsbBridge> DescribeUsbBridges() const;
  // Another program holds the port, by its lock or TIOCEXCL.
  std::string PortBusy() const override { return portBusy_; }
  // What the last Configure or SetLatency read back that failed it.
  std::string FailureDetail() const override { return failureDetail_; }

 private:
  struct Device {
    std::string description;       // the USB product string
    std::string serialNumber;      // the USB serial attribute beside it
    std::string path;              // the device node
    std::string latencyAttribute;  // the sysfs latency_timer file
    std::string kernelDriver;
  };
  class TtyPort;

  std::vector<Device> Enumerate() const;
  std::filesystem::path PortDeviceOf(const std::string& ttyName) const;
  // What sysfs tells of the tty `ttyName`, opened as `path`.
  Device DeviceOf(const std::string& ttyName, std::string path) const;
  // Why this user cannot open `path`; empty when it can.
  std::string AccessProblem(const std::string& path) const;
  // Opens `device` for this program alone, raw, with the modem lines raised.
  PortStatus OpenDevice(const Device& device, std::unique_ptr<Port>& port);

  std::string sysfsRoot_;
  std::string devRoot_;
  User user_;
  std::string fixedDevice_;     // set for a device named by the user
  std::vector<TtyPort*> open_;  // Unload closes them
  std::string portBusy_;        // as of the last open
  std::string failureDetail_;   // as of the last call that failed a read-back
  std::shared_ptr<PortCalls> calls_ = std::make_shared<PortCalls>();
};
