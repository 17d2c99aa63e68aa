#include "pod/TtyDriver.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "pod/PodLink.h"

namespace fs = std::filesystem;

namespace {

// ftdi_sio's latency when nobody asked for less.
constexpr uint8_t kDefaultLatencyMs = 16;

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, 0 once it has passed.
int RemainingMs(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

// "ttyUSB12" sorts after "ttyUSB9", as the kernel numbered them.
unsigned long TtyNumber(const std::string& name) {
  return std::strtoul(name.c_str() + std::strlen("ttyUSB"), nullptr, 10);
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
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

// One write(2) of the whole text, as a sysfs attribute wants it (the shell's
// "echo 1 > latency_timer" does the same, truncation included).
bool WriteAttribute(const std::string& file, const std::string& text) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

std::optional<speed_t> SpeedOf(uint32_t baud) {
  static constexpr std::pair<uint32_t, speed_t> kSpeeds[] = {
      {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
      {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const auto& [rate, speed] : kSpeeds) {
    if (rate == baud) {
      return speed;
    }
  }
  return std::nullopt;
}

// The rate of a termios speed code, for messages; 0 for one not known here.
uint32_t BaudOf(speed_t speed) {
  static constexpr std::pair<uint32_t, speed_t> kSpeeds[] = {
      {0, B0},           {50, B50},         {75, B75},         {110, B110},
      {134, B134},       {150, B150},       {200, B200},       {300, B300},
      {600, B600},       {1200, B1200},     {1800, B1800},     {2400, B2400},
      {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
      {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000},
  };
  for (const auto& [rate, code] : kSpeeds) {
    if (code == speed) {
      return rate;
    }
  }
  return 0;
}

std::string SpeedText(speed_t speed) {
  const uint32_t baud = BaudOf(speed);
  return baud != 0 || speed == B0 ? std::to_string(baud) + " baud"
                                  : "speed code " + std::to_string(speed);
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

// The port-busy message for `device`: the holder of its lock where the system
// lists one, else the first other process that has it open (the other end of a
// pseudo-terminal may be one that holds no lock).
std::string BusyText(const std::string& device, int ownFd) {
  const std::string lockHolder = LockHolderOf(device);
  const std::string holder = lockHolder.empty() ? HolderOf(device, ownFd) : ProcessText(lockHolder);
  return device + " is in use by " + (holder.empty() ? "another program" : holder);
}

}  // namespace

struct TtyDriver::Port {
  int fd = -1;
  std::string latencyAttribute;
  uint32_t readMs = 0;
  uint32_t writeMs = 0;
  std::shared_ptr<PortCalls> calls;
};

int TtyDriver::PortCalls::GetAttributes(int fd, termios& settings) {
  return tcgetattr(fd, &settings);
}

int TtyDriver::PortCalls::SetAttributes(int fd, const termios& settings) {
  return tcsetattr(fd, TCSANOW, &settings);
}

int TtyDriver::PortCalls::OutputQueued(int fd, int& bytes) {
  return ioctl(fd, TIOCOUTQ, &bytes);
}

int TtyDriver::PortCalls::SetModemLines(int fd, int lines) {
  return ioctl(fd, TIOCMSET, &lines);
}

FtStatus TtyDriver::ChangeLine(const Port& port, const std::function<bool(termios&)>& change) {
  termios settings{};
  if (port.calls->GetAttributes(port.fd, settings) != 0) {
    return kFtIoError;
  }
  if (!change(settings)) {
    return kFtInvalidParameter;
  }
  return port.calls->SetAttributes(port.fd, settings) == 0 ? kFtOk : kFtIoError;
}

bool TtyDriver::DrainOutput(const Port& port) {
  // Not tcdrain: it waits without a limit, for as long as the other end
  // does not take the bytes.
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(PodLink::kDrainTimeoutMs);
  int queued = 0;
  while (port.calls->OutputQueued(port.fd, queued) == 0 && queued > 0) {
    if (RemainingMs(deadline) == 0) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
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

TtyDriver::TtyDriver(std::string sysfsRoot, std::string devRoot, User user)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), user_(std::move(user)) {}

std::unique_ptr<TtyDriver> TtyDriver::ForDevice(std::string devicePath, std::string sysfsRoot) {
  auto driver = std::make_unique<TtyDriver>(std::move(sysfsRoot), "");
  driver->fixedDevice_ = std::move(devicePath);
  return driver;
}

TtyDriver::~TtyDriver() {
  Unload();
}

bool TtyDriver::Load() {
  std::error_code error;
  return !fixedDevice_.empty() || fs::is_directory(fs::path(sysfsRoot_) / "class" / "tty", error);
}

void TtyDriver::Unload() {
  for (const auto& port : ports_) {
    ::close(port->fd);
  }
  ports_.clear();
  listed_.clear();
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

TtyDriver::Port* TtyDriver::PortOf(FtHandle handle) {
  for (const auto& port : ports_) {
    if (port.get() == handle) {
      return port.get();
    }
  }
  return nullptr;
}

FtStatus TtyDriver::ListDeviceCount(uint32_t& count) {
  listed_ = Enumerate();
  count = static_cast<uint32_t>(listed_.size());
  return kFtOk;
}

FtStatus TtyDriver::ListDeviceDescription(uint32_t index, char (&description)[kFtDescriptionSize]) {
  if (index >= listed_.size()) {
    return kFtDeviceNotFound;
  }
  std::memset(description, 0, kFtDescriptionSize);
  listed_[index].description.copy(description, kFtDescriptionSize - 1);
  return kFtOk;
}

FtStatus TtyDriver::ListDeviceSerialNumber(uint32_t index,
                                           char (&serialNumber)[kFtSerialNumberSize]) {
  if (index >= listed_.size()) {
    return kFtDeviceNotFound;
  }
  std::memset(serialNumber, 0, kFtSerialNumberSize);
  listed_[index].serialNumber.copy(serialNumber, kFtSerialNumberSize - 1);
  return kFtOk;
}

std::vector<PortDetails> TtyDriver::DescribePorts() {
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

FtStatus TtyDriver::OpenByDescription(const char* description, FtHandle& handle) {
  return OpenFirst(
      [&](const Device& d) {
        return d.description.substr(0, kFtDescriptionSize - 1) == description;
      },
      handle);
}

FtStatus TtyDriver::OpenBySerialNumber(const char* serialNumber, FtHandle& handle) {
  return OpenFirst(
      [&](const Device& d) {
        return d.serialNumber.substr(0, kFtSerialNumberSize - 1) == serialNumber;
      },
      handle);
}

FtStatus TtyDriver::OpenFirst(const std::function<bool(const Device&)>& matches, FtHandle& handle) {
  handle = nullptr;
  portBusy_.clear();
  const std::vector<Device> devices = Enumerate();
  const auto device = std::ranges::find_if(devices, matches);
  if (device == devices.end()) {
    return kFtDeviceNotFound;
  }
  // Non-blocking throughout: every wait is a poll with the port's time-out.
  const int fd = ::open(device->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // EBUSY: another program set TIOCEXCL on the port.
    if (errno == EBUSY) {
      portBusy_ = BusyText(device->path, -1);
    }
    return kFtDeviceNotOpened;
  }
  // Before anything touches the port's settings. TIOCEXCL below keeps other
  // users out, but not root; this lock holds for everyone who asks for it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    portBusy_ = BusyText(device->path, fd);
    ::close(fd);
    return kFtDeviceNotOpened;
  }
  auto port = std::make_unique<Port>();
  port->fd = fd;
  port->latencyAttribute = device->latencyAttribute;
  port->calls = calls_;
  // Like the vendor driver, one program at a time; and it must be a serial port.
  const FtStatus status = ChangeLine(*port, [](termios& settings) {
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // With HUPCL the kernel drops DTR and RTS at every close (and raises them
    // at the next open): a POD that wires them to a reset or boot pin would
    // see a pulse at every operation. The vendor driver leaves them alone.
    settings.c_cflag &= ~HUPCL;
    // With O_NONBLOCK this makes an empty read fail with EAGAIN, so that a
    // read of 0 bytes can only mean the port has gone away.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return true;
  });
  if (status != kFtOk || ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    return kFtDeviceNotOpened;
  }
  // One fixed state from now on: both raised, as the open itself left them,
  // so setting them makes no edge. A port without modem lines (a
  // pseudo-terminal) refuses, and then has nothing to pulse.
  port->calls->SetModemLines(fd, TIOCM_DTR | TIOCM_RTS);
  handle = port.get();
  ports_.push_back(std::move(port));
  return kFtOk;
}

FtStatus TtyDriver::ResetDevice(FtHandle handle) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  // Also tells whether the device is still there.
  return tcflush(port->fd, TCIOFLUSH) == 0 ? kFtOk : kFtIoError;
}

FtStatus TtyDriver::GetLatencyTimer(FtHandle handle, uint8_t& milliseconds) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  const std::string text = FirstLine(port->latencyAttribute);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end != text.data()) {
    milliseconds = static_cast<uint8_t>(std::min(value, 255u));
    return kFtOk;
  }
  serial_struct serial{};
  const bool lowLatency =
      ioctl(port->fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) != 0;
  milliseconds = lowLatency ? 1 : kDefaultLatencyMs;
  return kFtOk;
}

FtStatus TtyDriver::SetLatencyTimer(FtHandle handle, uint8_t milliseconds) {
  failureDetail_.clear();
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  std::string tried;
  if (WriteAttribute(port->latencyAttribute, std::to_string(milliseconds) + "\n")) {
    tried = "latency_timer written";
  } else {
    tried = "latency_timer not writable: " + std::string(std::strerror(errno));
    // latency_timer is writable by root only where no udev rule makes it
    // otherwise, while older ftdi_sio let the port's user switch to low
    // latency, which means a 1 ms timer; newer kernels ignore the flag.
    serial_struct serial{};
    bool asked = ioctl(port->fd, TIOCGSERIAL, &serial) == 0;
    if (asked) {
      if (milliseconds <= 1) {
        serial.flags |= ASYNC_LOW_LATENCY;
      } else {
        serial.flags &= ~ASYNC_LOW_LATENCY;
      }
      asked = ioctl(port->fd, TIOCSSERIAL, &serial) == 0;
    }
    tried += asked ? "; low-latency mode asked for"
                   : "; low-latency mode refused: " + std::string(std::strerror(errno));
  }
  // Neither way says whether the timer took: only reading it back does.
  uint8_t found = 0;
  if (const FtStatus status = GetLatencyTimer(handle, found); status != kFtOk) {
    return status;
  }
  if (found == milliseconds) {
    return kFtOk;
  }
  failureDetail_ = "the latency timer reads back as " + std::to_string(found) + " ms, not " +
                   std::to_string(milliseconds) + " ms (" + tried + ")";
  return kFtOtherError;
}

FtStatus TtyDriver::SetBaudRate(FtHandle handle, uint32_t baud) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  failureDetail_.clear();
  const std::optional<speed_t> speed = SpeedOf(baud);
  const FtStatus status = ChangeLine(*port, [&](termios& settings) {
    return speed && cfsetispeed(&settings, *speed) == 0 && cfsetospeed(&settings, *speed) == 0;
  });
  if (status != kFtOk) {
    return status;
  }
  // tcsetattr succeeds when any part of the change took; a port that cannot
  // run at the speed keeps (and reports) another.
  termios settings{};
  if (port->calls->GetAttributes(port->fd, settings) != 0) {
    return kFtIoError;
  }
  const speed_t out = cfgetospeed(&settings);
  const speed_t in = cfgetispeed(&settings);
  if (out == *speed && (in == *speed || in == B0)) {
    return kFtOk;
  }
  failureDetail_ = "the port's speed reads back as " + SpeedText(out == *speed ? in : out) +
                   ", not " + std::to_string(baud) + " baud";
  return kFtOtherError;
}

FtStatus TtyDriver::SetDataCharacteristics(FtHandle handle, uint8_t wordLength, uint8_t stopBits,
                                           uint8_t parity) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  return ChangeLine(*port, [&](termios& settings) {
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD)) | CS8;
    return wordLength == 8 && stopBits == 0 && parity == 0;
  });
}

FtStatus TtyDriver::SetFlowControl(FtHandle handle, uint16_t flowControl, uint8_t, uint8_t) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  return ChangeLine(*port, [&](termios& settings) {
    settings.c_cflag &= ~CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    return flowControl == 0;
  });
}

FtStatus TtyDriver::SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  port->readMs = readMs;
  port->writeMs = writeMs;
  return kFtOk;
}

FtStatus TtyDriver::Purge(FtHandle handle, uint32_t mask) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  const bool rx = (mask & kFtPurgeRx) != 0;
  const bool tx = (mask & kFtPurgeTx) != 0;
  if (!rx && !tx) {
    return kFtOk;
  }
  if (tx) {
    // The queue is purged to start clean, not to recall a frame already sent.
    DrainOutput(*port);
  }
  const int queues = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  return tcflush(port->fd, queues) == 0 ? kFtOk : kFtIoError;
}

FtStatus TtyDriver::Write(FtHandle handle, const void* bytes, uint32_t length, uint32_t& written) {
  written = 0;
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port->writeMs);
  const auto* data = static_cast<const uint8_t*>(bytes);
  while (written < length) {
    const ssize_t n = ::write(port->fd, data + written, length - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN) {
      return kFtIoError;
    }
    const int left = RemainingMs(deadline);
    if (left == 0) {
      return kFtOk;  // the time-out cut the write short; `written` says how far it got
    }
    pollfd waitFor{port->fd, POLLOUT, 0};
    if (poll(&waitFor, 1, left) > 0 && (waitFor.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      return kFtIoError;
    }
  }
  // The bytes have been accepted; wait, within the same time-out, until they
  // have left, so that the caller's queue check finds nothing to wait for.
  int queued = 0;
  while (port->calls->OutputQueued(port->fd, queued) == 0 && queued > 0 &&
         RemainingMs(deadline) > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return kFtOk;
}

FtStatus TtyDriver::GetStatus(FtHandle handle, uint32_t& rxQueue, uint32_t& txQueue,
                              uint32_t& events) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  int rx = 0, tx = 0;
  if (ioctl(port->fd, FIONREAD, &rx) != 0 || port->calls->OutputQueued(port->fd, tx) != 0) {
    return kFtIoError;
  }
  rxQueue = static_cast<uint32_t>(rx);
  txQueue = static_cast<uint32_t>(tx);
  events = 0;
  return kFtOk;
}

FtStatus TtyDriver::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  returned = 0;
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port->readMs);
  auto* data = static_cast<uint8_t*>(buffer);
  while (returned < length) {
    const ssize_t n = ::read(port->fd, data + returned, length - returned);
    if (n > 0) {
      returned += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    // End of file on a serial port means it went away (unplugged, hung up).
    if (n == 0 || errno != EAGAIN) {
      return kFtIoError;
    }
    const int left = RemainingMs(deadline);
    if (left == 0) {
      break;
    }
    pollfd waitFor{port->fd, POLLIN, 0};
    if (poll(&waitFor, 1, left) > 0 && !(waitFor.revents & POLLIN)) {
      return kFtIoError;
    }
  }
  return kFtOk;
}

FtStatus TtyDriver::GetQueueStatus(FtHandle handle, uint32_t& rxQueue) {
  Port* port = PortOf(handle);
  if (port == nullptr) {
    return kFtInvalidHandle;
  }
  int rx = 0;
  if (ioctl(port->fd, FIONREAD, &rx) != 0) {
    return kFtIoError;
  }
  rxQueue = static_cast<uint32_t>(rx);
  return kFtOk;
}

FtStatus TtyDriver::Close(FtHandle handle) {
  const auto port =
      std::find_if(ports_.begin(), ports_.end(), [&](const auto& p) { return p.get() == handle; });
  if (port == ports_.end()) {
    return kFtInvalidHandle;
  }
  // What could not leave in time is dropped, or the kernel's own close would
  // wait for it (up to 30 s on a USB serial port).
  if (!DrainOutput(**port)) {
    tcflush((*port)->fd, TCOFLUSH);
  }
  ::close((*port)->fd);
  ports_.erase(port);
  return kFtOk;
}
