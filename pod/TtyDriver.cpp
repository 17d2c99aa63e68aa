// The tty backend's half that drives an open port through termios: line
// settings, latency, queues, reads and writes. TtyPorts.cpp finds the ports.
#include "pod/TtyDriver.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "pod/PodLink.h"
#include "pod/TtyPorts.h"

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

TtyDriver::Port* TtyDriver::PortOf(FtHandle handle) {
  for (const auto& port : ports_) {
    if (port.get() == handle) {
      return port.get();
    }
  }
  return nullptr;
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
