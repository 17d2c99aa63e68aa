// A POD on a pseudo-terminal behind a fake sysfs tree: what the tests of the
// tty backend, and of what is built on it, use in place of a USB bridge.
// Linux only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The POD's end of a pseudo-terminal pair: the driver under test opens the
// other end as if it were the POD's ttyUSB port.
class PtyPod {
 public:
  PtyPod() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      devicePath_ = ptsname(master_);
    }
  }
  ~PtyPod() {
    StopAnswering();
    Hangup();
  }

  const std::string& devicePath() const { return devicePath_; }
  bool ok() const { return !devicePath_.empty(); }

  // Answers each ping frame with "!" from a thread, as the firmware would.
  void AnswerPings() {
    stop_ = false;
    answerer_ = std::thread([this] {
      std::string seen;
      while (!stop_) {
        seen += Receive(20);
        if (const auto ping = seen.find("\x02I\x03"); ping != std::string::npos) {
          seen.erase(0, ping + 3);
          Send("!");
        }
      }
    });
  }
  void StopAnswering() {
    stop_ = true;
    if (answerer_.joinable()) {
      answerer_.join();
    }
  }

  void Send(std::string_view bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // The line settings of the PC's end, as they stand.
  termios Line() const {
    termios line{};
    const int fd = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
      tcgetattr(fd, &line);
      close(fd);
    }
    return line;
  }
  // Sets the line of the PC's end as `change` says; the settings stay while
  // this end is open, as a USB serial port's stay until it is unplugged.
  void ChangeLine(const std::function<void(termios&)>& change) {
    const int fd = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios line{};
    ASSERT_EQ(tcgetattr(fd, &line), 0);
    change(line);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &line), 0);
    close(fd);
  }

  // What the PC sent within `waitMs`.
  std::string Receive(int waitMs) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd in{master_, POLLIN, 0};
      if (poll(&in, 1, 5) > 0 && (in.revents & POLLIN)) {
        char chunk[512];
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0) {
          received.append(chunk, static_cast<size_t>(n));
        }
      } else if (in.revents != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // nobody on the other end yet
      }
    }
    return received;
  }

  // Pulls the plug: the PC's end sees the port go away.
  void Hangup() {
    if (master_ >= 0) {
      close(master_);
      master_ = -1;
    }
  }

 private:
  int master_ = -1;
  std::string devicePath_;
  std::thread answerer_;
  std::atomic<bool> stop_ = false;
};

// A sysfs tree (and /dev) under `root`, laid out as the kernel lays out FTDI
// bridges and their ports.
class FakeSysfs {
 public:
  explicit FakeSysfs(std::filesystem::path root) : root_(std::move(root)) {}

  // A USB device with a product string, its interface, and the port's tty as
  // ftdi_sio lays them out in sysfs, the USB device also listed on its bus
  // with the node the D2XX library would open (/dev/bus/usb/001/NNN, a plain
  // file here).
  void AddUsbSerial(const std::string& tty, const std::string& usbPort, const std::string& product,
                    const std::string& serialNumber) {
    namespace fs = std::filesystem;
    const fs::path device = UsbDevice(usbPort, product, serialNumber);
    const fs::path port = device / (usbPort + ":1.0") / tty;
    WriteFile(port / "latency_timer", "16\n");
    const fs::path ftdiSio = root_ / "sys/bus/usb-serial/drivers/ftdi_sio";
    fs::create_directories(ftdiSio);
    fs::create_symlink(ftdiSio, port / "driver");
    const fs::path usbFtdiSio = root_ / "sys/bus/usb/drivers/ftdi_sio";
    fs::create_directories(usbFtdiSio);
    fs::create_symlink(usbFtdiSio, device / (usbPort + ":1.0") / "driver");
    fs::create_directories(port / "tty" / tty);
    fs::create_symlink("../../../" + tty, port / "tty" / tty / "device");
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_symlink(fs::relative(port / "tty" / tty, root_ / "sys/class/tty"),
                       root_ / "sys/class/tty" / tty);
  }

  // A USB device alone, as a bridge with no kernel driver bound looks.
  std::filesystem::path UsbDevice(const std::string& usbPort, const std::string& product,
                                  const std::string& serialNumber) {
    namespace fs = std::filesystem;
    const fs::path device = root_ / "sys/devices/pci0000:00/usb1" / usbPort;
    WriteFile(device / "idVendor", "0403\n");
    WriteFile(device / "product", product + "\n");
    WriteFile(device / "serial", serialNumber + "\n");
    WriteFile(device / "busnum", "1\n");
    WriteFile(device / "devnum", std::to_string(++devices_) + "\n");
    fs::create_directories(device / (usbPort + ":1.0"));
    fs::create_directories(root_ / "sys/bus/usb/devices");
    fs::create_symlink(device, root_ / "sys/bus/usb/devices" / usbPort);
    char node[32];
    std::snprintf(node, sizeof node, "dev/bus/usb/001/%03d", devices_);
    WriteFile(root_ / node, "");
    return device;
  }

 private:
  std::filesystem::path root_;
  int devices_ = 0;
};
