// The tty backend's half that finds the ports: each ttyUSB* in sysfs with the
// USB device above it, who may open its node, and who holds a busy one.
#include "pod/TtyPorts.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "pod/PodLink.h"
#include "pod/TtyDriver.h"

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

namespace {

// "ttyUSB12" sorts after "ttyUSB9", as the kernel numbered them.
unsigned long TtyNumber(const std::string& name) {
  return std::strtoul(name.c_str() + std::strlen("ttyUSB"), nullptr, 10);
}

// The USB device above `start`: the first directory on the way up that has
// an "idVendor" attribute, without leaving `root`; empty when there is none.
// Its "product" and "serial" are the bridge's own even when it has none: a
// hub further up has its own, which must not be taken for the bridge's.
fs::path UsbDeviceAbove(const fs::path& start, const fs::path& root) {
  std::error_code error;
  const fs::path top = fs::canonical(root, error);
  fs::path dir = fs::canonical(start, error);
  if (error) {
    return {};
  }
  while (!dir.empty() && dir != top && dir != dir.parent_path()) {
    if (fs::is_regular_file(dir / "idVendor", error)) {
      return dir;
    }
    dir = dir.parent_path();
  }
  return {};
}

// The attribute `name` of the USB device `usbDevice`; empty when there is none.
std::string UsbAttribute(const fs::path& usbDevice, const char* name) {
  return usbDevice.empty() ? std::string() : FirstLine(usbDevice / name);
}

// The name of the kernel driver bound to the port ("ftdi_sio"); empty when none is.
std::string KernelDriverOf(const fs::path& portDevice) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(portDevice / "driver", error);
  return error ? std::string() : driver.filename().string();
}

std::string UserName(uid_t uid) {
  const passwd* user = getpwuid(uid);
  return user != nullptr ? user->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  const group* entry = getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

// "crw-rw----", as ls shows a device node's mode.
std::string ModeText(const struct stat& node) {
  std::string text = S_ISCHR(node.st_mode) ? "c" : "-";
  constexpr mode_t kBits[] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                              S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
  for (size_t bit = 0; bit < std::size(kBits); ++bit) {
    text += (node.st_mode & kBits[bit]) ? "rwx"[bit % 3] : '-';
  }
  return text;
}

// "process 123 (name)", or without the name when /proc does not give it.
std::string ProcessText(const std::string& pid) {
  const std::string name = FirstLine(fs::path("/proc") / pid / "comm");
  return "process " + pid + (name.empty() ? "" : " (" + name + ")");
}

// The process that holds the lock on `device` (flock, as this driver takes
// it), from /proc/locks: "1: FLOCK ADVISORY WRITE 4242 00:05:123 0 EOF", the
// file named by its filesystem's major:minor in hexadecimal and its inode.
// Empty when none is listed.
std::string LockHolderOf(const std::string& device) {
  struct stat file {};
  if (::stat(device.c_str(), &file) != 0) {
    return {};
  }
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(file.st_dev), minor(file.st_dev),
                static_cast<unsigned long long>(file.st_ino));
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, where;
    fields >> number >> kind >> mode >> access >> pid >> where;
    // "->" marks a process waiting for the lock, not one holding it.
    if (kind == "FLOCK" && where == id) {
      return pid;
    }
  }
  return {};
}

// Who else has `device` open, found among the open files in /proc (those of
// other users only as root); `ownFd` of this process does not count.
std::string HolderOf(const std::string& device, int ownFd) {
  std::error_code error;
  const fs::path target = fs::canonical(device, error);
  if (error) {
    return {};
  }
  const std::string self = std::to_string(::getpid());
  for (fs::directory_iterator process("/proc", error), end; !error && process != end;
       process.increment(error)) {
    const std::string pid = process->path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(),
                                    [](unsigned char c) { return std::isdigit(c) != 0; })) {
      continue;
    }
    std::error_code unreadable;
    for (fs::directory_iterator fd(process->path() / "fd", unreadable); !unreadable && fd != end;
         fd.increment(unreadable)) {
      const bool own = pid == self && fd->path().filename() == std::to_string(ownFd);
      std::error_code gone;
      if (!own && fs::read_symlink(fd->path(), gone) == target) {
        return ProcessText(pid);
      }
    }
  }
  return {};
}

}  // namespace

std::string BusyText(const std::string& device, int ownFd) {
  const std::string lockHolder = LockHolderOf(device);
  const std::string holder = lockHolder.empty() ? HolderOf(device, ownFd) : ProcessText(lockHolder);
  return device + " is in use by " + (holder.empty() ? "another program" : holder);
}

TtyDriver::User TtyDriver::User::OfThisProcess() {
  User user{geteuid(), {getegid()}};
  const int count = getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    user.groups.insert(user.groups.end(), groups.begin(), groups.begin() + std::max(got, 0));
  }
  return user;
}

fs::path TtyDriver::PortDeviceOf(const std::string& ttyName) const {
  return fs::path(sysfsRoot_) / "class" / "tty" / ttyName / "device";
}

TtyDriver::Device TtyDriver::DeviceOf(const std::string& ttyName, std::string path) const {
  const fs::path portDevice = PortDeviceOf(ttyName);
  const fs::path usbDevice = UsbDeviceAbove(portDevice, sysfsRoot_);
  return {UsbAttribute(usbDevice, "product"), UsbAttribute(usbDevice, "serial"), std::move(path),
          (portDevice / "latency_timer").string(), KernelDriverOf(portDevice)};
}

std::string TtyDriver::AccessProblem(const std::string& path) const {
  struct stat node {};
  if (::stat(path.c_str(), &node) != 0) {
    return std::strerror(errno);
  }
  if (user_.uid == 0) {
    return {};
  }
  const bool inGroup = std::ranges::find(user_.groups, node.st_gid) != user_.groups.end();
  const mode_t readWrite = node.st_uid == user_.uid ? (S_IRUSR | S_IWUSR)
                           : inGroup                ? (S_IRGRP | S_IWGRP)
                                                    : (S_IROTH | S_IWOTH);
  if ((node.st_mode & readWrite) == readWrite) {
    return {};
  }
  return std::string(std::strerror(EACCES)) + " (" + ModeText(node) + " " + UserName(node.st_uid) +
         " " + GroupName(node.st_gid) + ")";
}

std::vector<TtyDriver::Device> TtyDriver::Enumerate() const {
  std::vector<Device> devices;
  std::error_code error;
  if (!fixedDevice_.empty()) {
    if (fs::exists(fixedDevice_, error)) {
      // Through a udev alias such as /dev/serial/by-id/... to the kernel's name.
      const fs::path node = fs::canonical(fixedDevice_, error);
      Device device = DeviceOf(node.filename().string(), fixedDevice_);
      device.description = PodLink::kPodDescription;
      devices.push_back(std::move(device));
    }
    return devices;
  }
  const fs::path ttyClass = fs::path(sysfsRoot_) / "class" / "tty";
  std::vector<std::string> names;
  for (fs::directory_iterator it(ttyClass, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with("ttyUSB")) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return TtyNumber(a) < TtyNumber(b); });
  for (const std::string& name : names) {
    devices.push_back(DeviceOf(name, (fs::path(devRoot_) / name).string()));
  }
  return devices;
}

std::vector<PortDetails> TtyDriver::ListPorts() {
  std::vector<PortDetails> ports;
  for (const Device& device : Enumerate()) {
    PortDetails port;
    port.port = device.path;
    port.description = device.description;
    port.serialNumber = device.serialNumber;
    port.kernelDriver = device.kernelDriver;
    const std::string latency = FirstLine(device.latencyAttribute);
    unsigned value = 0;
    if (std::from_chars(latency.data(), latency.data() + latency.size(), value).ec == std::errc() &&
        !latency.empty()) {
      port.latencyMs = value;
    }
    port.accessProblem = AccessProblem(device.path);
    port.accessible = port.accessProblem.empty();
    if (struct stat node{}; ::stat(device.path.c_str(), &node) == 0) {
      port.group = GroupName(node.st_gid);
    }
    ports.push_back(std::move(port));
  }
  return ports;
}

std::vector<UsbBridge> TtyDriver::DescribeUsbBridges() const {
  std::vector<UsbBridge> devices;
  std::error_code error;
  const fs::path bus = fs::path(sysfsRoot_) / "bus" / "usb" / "devices";
  std::vector<fs::path> found;
  for (fs::directory_iterator it(bus, error), end; !error && it != end; it.increment(error)) {
    // Interfaces ("1-2:1.0") have no idVendor of their own.
    if (FirstLine(it->path() / "idVendor") == "0403") {
      found.push_back(it->path());
    }
  }
  std::sort(found.begin(), found.end());
  for (const fs::path& device : found) {
    const std::string name = device.filename().string();
    UsbBridge usb{name,
                  FirstLine(device / "product"),
                  FirstLine(device / "serial"),
                  KernelDriverOf(device / (name + ":1.0")),
                  {},
                  {},
                  {}};
    unsigned busNumber = 0, deviceNumber = 0;
    const std::string busText = FirstLine(device / "busnum");
    const std::string deviceText = FirstLine(device / "devnum");
    std::from_chars(busText.data(), busText.data() + busText.size(), busNumber);
    std::from_chars(deviceText.data(), deviceText.data() + deviceText.size(), deviceNumber);
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/%03u/%03u", busNumber, deviceNumber);
    usb.node = (fs::path(devRoot_) / node).string();
    usb.accessProblem = AccessProblem(usb.node);
    if (struct stat status{}; ::stat(usb.node.c_str(), &status) == 0) {
      usb.group = GroupName(status.st_gid);
    }
    devices.push_back(std::move(usb));
  }
  return devices;
}
