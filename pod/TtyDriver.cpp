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

// The only line offered: the POD's, 8 data bits, 1 stop bit, no parity, no
// flow control.
bool IsPodLine(const PortSettings& settings) {
  return settings.dataBits == 8 && settings.stopBits == 1 && settings.parity == Parity::None &&
         !settings.handshake;
}

}  // namespace

// An open ttyUSB port, non-blocking: every wait is a poll bounded by the
// port's time-outs, where 0 means no waiting at all. Unload closes it under
// its user's feet: from then on it refuses every call and its destruction
// closes nothing, since its descriptor's number may already belong to a port
// opened since.
class TtyDriver::TtyPort final : public Port {
 public:
  TtyPort(TtyDriver& driver, int fd, std::string latencyAttribute)
      : driver_(driver),
        fd_(fd),
        latencyAttribute_(std::move(latencyAttribute)),
        calls_(driver.calls_) {
    driver_.open_.push_back(this);
  }
  // Gives what is queued the same bounded time to leave as Purge, drops what
  // has not, and closes; the modem lines stay as they are (no HUPCL).
  ~TtyPort() override;
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  // Makes the port this program's alone and a raw serial line; false when it
  // cannot be one.
  bool TakeOver();
  // Closes the port at once, as Unload does.
  void Drop();

  // A speed that does not read back fails, FailureDetail saying which it is.
  PortStatus Configure(const PortSettings& settings) override;
  // From the latency_timer attribute; where there is none, the port's
  // low-latency flag stands for 1 ms and its absence for the usual 16 ms.
  PortStatus GetLatency(uint8_t& milliseconds) override;
  // Writes the latency_timer attribute, or where that cannot be written asks
  // for the port's low-latency mode, then reads the timer back: a value other
  // than the one asked for fails, FailureDetail saying what was found.
  PortStatus SetLatency(uint8_t milliseconds) override;
  // Returns once the bytes have left the kernel's queue, or at the write time-out.
  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override;
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override;
  PortStatus BytesWaiting(uint32_t& received) override;
  PortStatus BytesUnsent(uint32_t& unsent) override;
  // The transmit queue is given up to PodLink::kDrainTimeoutMs to empty
  // before it is purged, so that a frame already sent is not taken back, yet a
  // POD that stopped reading cannot hold the program.
  PortStatus Purge(uint32_t which) override;

 private:
  // Applies `change` to the port's line settings.
  PortStatus ChangeLine(const std::function<void(termios&)>& change);
  // Fails unless the port reads back at `speed`, asked for as `baud`.
  PortStatus CheckSpeed(speed_t speed, uint32_t baud);
  // Waits up to PodLink::kDrainTimeoutMs for the output queue to empty; true
  // when it did.
  bool DrainOutput();
  // Waits until the output queue is empty or `deadline` has come; true when
  // it emptied.
  bool AwaitOutputLeft(SteadyClock::time_point deadline);

  TtyDriver& driver_;
  int fd_;  // -1 once Unload closed it
  std::string latencyAttribute_;
  std::shared_ptr<PortCalls> calls_;
  uint32_t readMs_ = 0;
  uint32_t writeMs_ = 0;
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
  for (TtyPort* port : open_) {
    port->Drop();
  }
  open_.clear();
}

PortStatus TtyDriver::Open(const PortKey& key, std::unique_ptr<Port>& port) {
  port.reset();
  portBusy_.clear();
  const std::vector<Device> devices = Enumerate();
  const auto device = std::ranges::find_if(devices, [&](const Device& d) {
    return (key.by == PortKey::By::Description ? d.description : d.serialNumber) == key.text;
  });
  if (device == devices.end()) {
    return kPortNotFound;
  }
  const int fd = ::open(device->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // EBUSY: another program set TIOCEXCL on the port.
    if (errno == EBUSY) {
      portBusy_ = BusyText(device->path, -1);
    }
    return kPortNotOpened;
  }
  // Before anything touches the port's settings. TIOCEXCL keeps other users
  // out, but not root; this lock holds for everyone who asks for it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    portBusy_ = BusyText(device->path, fd);
    ::close(fd);
    return kPortNotOpened;
  }
  auto opened = std::make_unique<TtyPort>(*this, fd, device->latencyAttribute);
  if (!opened->TakeOver()) {
    return kPortNotOpened;
  }
  port = std::move(opened);
  return kPortOk;
}

TtyDriver::TtyPort::~TtyPort() {
  std::erase(driver_.open_, this);
  if (fd_ < 0) {
    return;
  }
  // What could not leave in time is dropped, or the kernel's own close would
  // wait for it (up to 30 s on a USB serial port).
  if (!DrainOutput()) {
    tcflush(fd_, TCOFLUSH);
  }
  ::close(fd_);
}

bool TtyDriver::TtyPort::TakeOver() {
  // Like the vendor driver, one program at a time; and it must be a serial port.
  const PortStatus status = ChangeLine([](termios& settings) {
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
  });
  if (status != kPortOk || ioctl(fd_, TIOCEXCL) != 0) {
    return false;
  }
  // One fixed state from now on: both raised, as the open itself left them,
  // so setting them makes no edge. A port without modem lines (a
  // pseudo-terminal) refuses, and then has nothing to pulse.
  calls_->SetModemLines(fd_, TIOCM_DTR | TIOCM_RTS);
  return true;
}

void TtyDriver::TtyPort::Drop() {
  ::close(fd_);
  fd_ = -1;
}

PortStatus TtyDriver::TtyPort::ChangeLine(const std::function<void(termios&)>& change) {
  termios settings{};
  if (calls_->GetAttributes(fd_, settings) != 0) {
    return kPortIoError;
  }
  change(settings);
  return calls_->SetAttributes(fd_, settings) == 0 ? kPortOk : kPortIoError;
}

bool TtyDriver::TtyPort::DrainOutput() {
  // Not tcdrain: it waits without a limit, for as long as the other end
  // does not take the bytes.
  return AwaitOutputLeft(SteadyClock::now() + std::chrono::milliseconds(PodLink::kDrainTimeoutMs));
}

bool TtyDriver::TtyPort::AwaitOutputLeft(SteadyClock::time_point deadline) {
  int queued = 0;
  while (calls_->OutputQueued(fd_, queued) == 0 && queued > 0) {
    if (RemainingMs(deadline) == 0) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

PortStatus TtyDriver::TtyPort::Configure(const PortSettings& settings) {
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  driver_.failureDetail_.clear();
  const std::optional<speed_t> speed = SpeedOf(settings.baud);
  if (!speed || !IsPodLine(settings)) {
    return kPortInvalidParameter;
  }
  // Also tells whether the device is still there.
  if (tcflush(fd_, TCIOFLUSH) != 0) {
    return kPortIoError;
  }
  const PortStatus status = ChangeLine([&](termios& line) {
    cfsetispeed(&line, *speed);
    cfsetospeed(&line, *speed);
    line.c_cflag = (line.c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS)) | CS8;
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
  });
  if (status != kPortOk) {
    return status;
  }
  if (const PortStatus kept = CheckSpeed(*speed, settings.baud); kept != kPortOk) {
    return kept;
  }
  readMs_ = settings.readTimeoutMs;
  writeMs_ = settings.writeTimeoutMs;
  return kPortOk;
}

PortStatus TtyDriver::TtyPort::CheckSpeed(speed_t speed, uint32_t baud) {
  // tcsetattr succeeds when any part of the change took; a port that cannot
  // run at the speed keeps (and reports) another.
  termios settings{};
  if (calls_->GetAttributes(fd_, settings) != 0) {
    return kPortIoError;
  }
  const speed_t out = cfgetospeed(&settings);
  const speed_t in = cfgetispeed(&settings);
  if (out == speed && (in == speed || in == B0)) {
    return kPortOk;
  }
  driver_.failureDetail_ = "the port's speed reads back as " + SpeedText(out == speed ? in : out) +
                           ", not " + std::to_string(baud) + " baud";
  return kPortOtherError;
}

PortStatus TtyDriver::TtyPort::GetLatency(uint8_t& milliseconds) {
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  const std::string text = FirstLine(latencyAttribute_);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end != text.data()) {
    milliseconds = static_cast<uint8_t>(std::min(value, 255u));
    return kPortOk;
  }
  serial_struct serial{};
  const bool lowLatency =
      ioctl(fd_, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) != 0;
  milliseconds = lowLatency ? 1 : kDefaultLatencyMs;
  return kPortOk;
}

PortStatus TtyDriver::TtyPort::SetLatency(uint8_t milliseconds) {
  driver_.failureDetail_.clear();
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  std::string tried;
  if (WriteAttribute(latencyAttribute_, std::to_string(milliseconds) + "\n")) {
    tried = "latency_timer written";
  } else {
    tried = "latency_timer not writable: " + std::string(std::strerror(errno));
    // latency_timer is writable by root only where no udev rule makes it
    // otherwise, while older ftdi_sio let the port's user switch to low
    // latency, which means a 1 ms timer; newer kernels ignore the flag.
    serial_struct serial{};
    bool asked = ioctl(fd_, TIOCGSERIAL, &serial) == 0;
    if (asked) {
      if (milliseconds <= 1) {
        serial.flags |= ASYNC_LOW_LATENCY;
      } else {
        serial.flags &= ~ASYNC_LOW_LATENCY;
      }
      asked = ioctl(fd_, TIOCSSERIAL, &serial) == 0;
    }
    tried += asked ? "; low-latency mode asked for"
                   : "; low-latency mode refused: " + std::string(std::strerror(errno));
  }
  // Neither way says whether the timer took: only reading it back does.
  uint8_t found = 0;
  if (const PortStatus status = GetLatency(found); status != kPortOk) {
    return status;
  }
  if (found == milliseconds) {
    return kPortOk;
  }
  driver_.failureDetail_ = "the latency timer reads back as " + std::to_string(found) +
                           " ms, not " + std::to_string(milliseconds) + " ms (" + tried + ")";
  return kPortOtherError;
}

PortStatus TtyDriver::TtyPort::Purge(uint32_t which) {
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  const bool rx = (which & kPurgeReceived) != 0;
  const bool tx = (which & kPurgeUnsent) != 0;
  if (!rx && !tx) {
    return kPortOk;
  }
  if (tx) {
    // The queue is purged to start clean, not to recall a frame already sent.
    DrainOutput();
  }
  const int queues = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  return tcflush(fd_, queues) == 0 ? kPortOk : kPortIoError;
}

PortStatus TtyDriver::TtyPort::Write(const void* bytes, uint32_t length, uint32_t& written) {
  written = 0;
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(writeMs_);
  const auto* data = static_cast<const uint8_t*>(bytes);
  while (written < length) {
    const ssize_t n = ::write(fd_, data + written, length - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN) {
      return kPortIoError;
    }
    const int left = RemainingMs(deadline);
    if (left == 0) {
      return kPortOk;  // the time-out cut the write short; `written` says how far it got
    }
    pollfd waitFor{fd_, POLLOUT, 0};
    if (poll(&waitFor, 1, left) > 0 && (waitFor.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      return kPortIoError;
    }
  }
  // The bytes have been accepted; wait, within the same time-out, until they
  // have left, so that the caller's queue check finds nothing to wait for.
  AwaitOutputLeft(deadline);
  return kPortOk;
}

PortStatus TtyDriver::TtyPort::Read(void* buffer, uint32_t length, uint32_t& returned) {
  returned = 0;
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(readMs_);
  auto* data = static_cast<uint8_t*>(buffer);
  while (returned < length) {
    const ssize_t n = ::read(fd_, data + returned, length - returned);
    if (n > 0) {
      returned += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    // End of file on a serial port means it went away (unplugged, hung up).
    if (n == 0 || errno != EAGAIN) {
      return kPortIoError;
    }
    const int left = RemainingMs(deadline);
    if (left == 0) {
      break;
    }
    pollfd waitFor{fd_, POLLIN, 0};
    if (poll(&waitFor, 1, left) > 0 && !(waitFor.revents & POLLIN)) {
      return kPortIoError;
    }
  }
  return kPortOk;
}

PortStatus TtyDriver::TtyPort::BytesWaiting(uint32_t& received) {
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  int bytes = 0;
  if (ioctl(fd_, FIONREAD, &bytes) != 0) {
    return kPortIoError;
  }
  received = static_cast<uint32_t>(bytes);
  return kPortOk;
}

PortStatus TtyDriver::TtyPort::BytesUnsent(uint32_t& unsent) {
  if (fd_ < 0) {
    return kPortInvalidHandle;
  }
  int bytes = 0;
  if (calls_->OutputQueued(fd_, bytes) != 0) {
    return kPortIoError;
  }
  unsent = static_cast<uint32_t>(bytes);
  return kPortOk;
}
