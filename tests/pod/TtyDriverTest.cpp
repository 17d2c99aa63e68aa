#include "pod/TtyDriver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "tests/support/FakeSerialBench.h"

namespace fs = std::filesystem;

namespace {

// The line PodLink sets up.
constexpr PortSettings kPodLine{921600, 8, 1, Parity::None, false, 200, 200};

class TtyDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pod.ok()) << "no pseudo-terminals on this system";
    fs::remove_all(root);
    // Numbered so that a plain string sort would put the POD first.
    sysfs.AddUsbSerial("ttyUSB9", "1-1", "FT232R USB UART", "A900XYZ");
    sysfs.AddUsbSerial("ttyUSB10", "1-2", "Brontaflex POD", "BFX00001");
    fs::create_directories(root / "sys/class/tty/ttyS0");
    fs::create_symlink(pod.devicePath(), root / "dev/ttyUSB10");
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path LatencyFile() const {
    return root / "sys/devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB10/latency_timer";
  }

  // Opens the POD through the link as the program does.
  void OpenLink() {
    pod.AnswerPings();
    ASSERT_TRUE(link.LoadDriver());
    ASSERT_TRUE(link.Find());
    ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
    pod.StopAnswering();
  }

  static fs::path FreshRoot() {
    return fs::temp_directory_path() /
           ("bfx-tty-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  PtyPod pod;
  fs::path root = FreshRoot();
  FakeSysfs sysfs{root};
  TtyDriver driver{(root / "sys").string(), (root / "dev").string()};
  SystemClock clock;
  PodLink link{driver, clock};
};

TEST_F(TtyDriverTest, ListsUsbPortsByProductStringInKernelOrder) {
  TtyDriver fresh((root / "sys").string(), (root / "dev").string());
  ASSERT_TRUE(fresh.Load());
  const auto ports = fresh.ListPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].description, "FT232R USB UART");
  EXPECT_EQ(ports[1].description, "Brontaflex POD");
}

TEST_F(TtyDriverTest, OpensConfiguresAndPingsThePod) {
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  EXPECT_EQ(ReadFile(LatencyFile()), "1\n");

  // The line as the POD needs it: 921600 8N1, raw, no flow control.
  const int fd = open(pod.devicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios line{};
  ASSERT_EQ(tcgetattr(fd, &line), 0);
  close(fd);
  EXPECT_EQ(cfgetospeed(&line), B921600);
  EXPECT_EQ(cfgetispeed(&line), B921600);
  EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
}

// Only the POD's line is offered; anything else is refused and leaves the
// line as it was.
TEST_F(TtyDriverTest, LinesOtherThanThePodsAreRefused) {
  ASSERT_TRUE(driver.Load());
  std::unique_ptr<Port> port;
  ASSERT_EQ(driver.Open({PortKey::By::Description, "Brontaflex POD"}, port), kPortOk);
  ASSERT_EQ(port->Configure(kPodLine), kPortOk);
  const struct {
    const char* what;
    void (*change)(PortSettings&);
  } refused[] = {
      {"a speed of no termios code", [](PortSettings& line) { line.baud = 12345; }},
      {"7 data bits", [](PortSettings& line) { line.dataBits = 7; }},
      {"2 stop bits", [](PortSettings& line) { line.stopBits = 2; }},
      {"even parity", [](PortSettings& line) { line.parity = Parity::Even; }},
      {"RTS/CTS", [](PortSettings& line) { line.handshake = true; }},
      {"9600 baud with 7 data bits",
       [](PortSettings& line) {
         line.baud = 9600;
         line.dataBits = 7;
       }},
  };
  for (const auto& [what, change] : refused) {
    SCOPED_TRACE(what);
    PortSettings settings = kPodLine;
    change(settings);
    EXPECT_EQ(port->Configure(settings), kPortInvalidParameter);
    const termios line = pod.Line();
    EXPECT_EQ(cfgetospeed(&line), B921600);
    EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), static_cast<tcflag_t>(CS8));
  }
}

// Root passes TIOCEXCL, so only the lock keeps a second program from setting
// the line up anew and purging it under the first one's feet.
TEST_F(TtyDriverTest, SecondUserOfThePortIsRefusedAndTheHolderNamed) {
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  TtyDriver secondDriver((root / "sys").string(), (root / "dev").string());
  PodLink second(secondDriver, clock);
  ASSERT_TRUE(second.LoadDriver());
  ASSERT_TRUE(second.Find());
  EXPECT_EQ(PodCommands::OpenPod(second), OpenStatus::PortFailed);
  std::string name = ReadFile("/proc/self/comm");
  name.erase(name.find('\n'));
  EXPECT_EQ(secondDriver.PortBusy(), (root / "dev/ttyUSB10").string() + " is in use by process " +
                                         std::to_string(getpid()) + " (" + name + ")");
  EXPECT_EQ(pod.Receive(50), "") << "the refused one sent nothing";

  pod.AnswerPings();
  EXPECT_TRUE(PodCommands::PingPod(link)) << "the first one is unharmed";
  link.Close();
  EXPECT_EQ(PodCommands::OpenPod(second), OpenStatus::Ok) << "the port is free again";
  EXPECT_EQ(secondDriver.PortBusy(), "");
  pod.StopAnswering();
}

TEST_F(TtyDriverTest, TheHolderOfTheLockIsNamedNotAnotherUserOfTheTty) {
  // This process has the tty open without a lock, and comes first in /proc;
  // a child of it takes the lock, as another program's link would.
  const int unlocked = open(pod.devicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(unlocked, 0);
  int locked[2];
  int release[2];
  ASSERT_EQ(pipe(locked), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(release[1]);  // so that the parent's close ends the wait below
    const int fd = open(pod.devicePath().c_str(), O_RDWR | O_NOCTTY);
    const char done = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    [[maybe_unused]] const ssize_t told = write(locked[1], &done, 1);
    char byte = 0;
    [[maybe_unused]] const ssize_t waited = read(release[0], &byte, 1);
    _exit(0);
  }
  char done = 0;
  ASSERT_EQ(read(locked[0], &done, 1), 1);
  ASSERT_EQ(done, 'y');

  TtyDriver driver((root / "sys").string(), (root / "dev").string());
  PodLink link(driver, clock);
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  std::string name = ReadFile("/proc/self/comm");
  name.erase(name.find('\n'));
  EXPECT_EQ(driver.PortBusy(), (root / "dev/ttyUSB10").string() + " is in use by process " +
                                   std::to_string(child) + " (" + name + ")");

  close(release[1]);
  waitpid(child, nullptr, 0);
  for (const int fd : {unlocked, locked[0], locked[1], release[0]}) {
    close(fd);
  }
}

TEST_F(TtyDriverTest, WritesAndReadsBytesUnchanged) {
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  const std::string frame = "\x02O023F40000028\x03\r\n\x11\x13";
  ASSERT_TRUE(link.Write(frame.data(), static_cast<uint32_t>(frame.size()), 200));
  EXPECT_EQ(pod.Receive(200), frame);

  pod.Send(std::string("!\x3F\x40\x00\r\n", 6));
  char reply[6] = {};
  ASSERT_TRUE(link.Read(reply, 6, 200));
  EXPECT_EQ(std::string(reply, 6), std::string("!\x3F\x40\x00\r\n", 6));
}

TEST_F(TtyDriverTest, ReadOfASilentPodTimesOut) {
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  const auto start = std::chrono::steady_clock::now();
  char byte = 0;
  EXPECT_FALSE(link.Read(&byte, 1, 100));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Two empty driver reads of 200 ms each.
  EXPECT_GE(elapsed, std::chrono::milliseconds(390));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
}

TEST_F(TtyDriverTest, PurgeDiscardsWhatArrived) {
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  pod.Send("xyz");
  uint32_t waiting = 0;
  for (int i = 0; i < 100 && waiting < 3; ++i) {
    ASSERT_TRUE(link.QueuedInput(waiting));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(waiting, 3u);
  link.Purge();
  ASSERT_TRUE(link.QueuedInput(waiting));
  EXPECT_EQ(waiting, 0u);
}

TEST_F(TtyDriverTest, SilentPortIsNoAnswerAndIsClosedAgain) {
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::NoAnswer);
  // Closed: opening again works and this time the POD answers.
  ASSERT_NO_FATAL_FAILURE(OpenLink());
}

// Unload closes a port left open; that port's own close later must not take
// the descriptor number a port opened since may have been given.
TEST_F(TtyDriverTest, PortClosedByUnloadClosesNothingOfItsSuccessor) {
  const PortKey key{PortKey::By::SerialNumber, "BFX00001"};
  ASSERT_TRUE(driver.Load());
  std::unique_ptr<Port> stale;
  ASSERT_EQ(driver.Open(key, stale), kPortOk);
  driver.Unload();
  uint32_t waiting = 0;
  EXPECT_EQ(stale->BytesWaiting(waiting), kPortInvalidHandle);

  ASSERT_TRUE(driver.Load());
  std::unique_ptr<Port> fresh;
  ASSERT_EQ(driver.Open(key, fresh), kPortOk) << "Unload gave the port back";
  stale.reset();
  EXPECT_EQ(fresh->BytesWaiting(waiting), kPortOk);
  EXPECT_EQ(fresh->Configure(kPodLine), kPortOk);
}

TEST_F(TtyDriverTest, UnpluggedPodFailsTheReadInsteadOfHanging) {
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  pod.Hangup();
  char byte = 0;
  EXPECT_FALSE(link.Read(&byte, 1, 200));
  link.Close();
}

TEST_F(TtyDriverTest, NamedDeviceIsThePodWithoutSysfs) {
  auto named = TtyDriver::ForDevice(pod.devicePath(), (root / "nothing").string());
  PodLink direct(*named, clock);
  pod.AnswerPings();
  ASSERT_TRUE(direct.LoadDriver());
  ASSERT_TRUE(direct.Find());
  EXPECT_STREQ(direct.description(), "Brontaflex POD");
  // Without a latency attribute the port still opens.
  EXPECT_EQ(PodCommands::OpenPod(direct), OpenStatus::Ok);
  pod.StopAnswering();

  auto missing = TtyDriver::ForDevice((root / "dev/ttyUSB99").string());
  PodLink nowhere(*missing, clock);
  ASSERT_TRUE(nowhere.LoadDriver());
  EXPECT_FALSE(nowhere.Find());
}

// A second POD whose node belongs to another user, and a third reached
// through its group: what `list` tells of each, judged for user 4242.
TEST_F(TtyDriverTest, DescribesEachPortWithSerialDriverLatencyAndAccess) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "giving device nodes to other users needs root";
  }
  sysfs.AddUsbSerial("ttyUSB11", "1-3", "Brontaflex POD", "BFX00002");
  sysfs.AddUsbSerial("ttyUSB12", "1-4", "Brontaflex POD", "BFX00003");
  fs::remove(root / "dev/ttyUSB10");
  const auto node = [&](const char* name, uid_t owner, gid_t group, mode_t mode) {
    const fs::path path = root / "dev" / name;
    WriteFile(path, "");
    ASSERT_EQ(chown(path.c_str(), owner, group), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  };
  node("ttyUSB9", 0, 0, 0666);
  node("ttyUSB10", 4242, 4242, 0600);
  node("ttyUSB11", 4343, 4343, 0660);
  node("ttyUSB12", 0, 20, 0660);
  TtyDriver user((root / "sys").string(), (root / "dev").string(), {4242, {4242, 20}});
  TtyDriver stranger((root / "sys").string(), (root / "dev").string(), {4444, {4444}});

  const auto ports = user.ListPorts();
  ASSERT_EQ(ports.size(), 4u);
  const struct {
    const char* description;
    const char* serialNumber;
    bool accessible;
  } expected[] = {{"FT232R USB UART", "A900XYZ", true},
                  {"Brontaflex POD", "BFX00001", true},
                  {"Brontaflex POD", "BFX00002", false},
                  {"Brontaflex POD", "BFX00003", true}};
  for (size_t i = 0; i < ports.size(); ++i) {
    SCOPED_TRACE(ports[i].port);
    EXPECT_EQ(ports[i].port, (root / "dev" / ("ttyUSB" + std::to_string(9 + i))).string());
    EXPECT_EQ(ports[i].description, expected[i].description);
    EXPECT_EQ(ports[i].serialNumber, expected[i].serialNumber);
    EXPECT_EQ(ports[i].latencyMs, 16u);
    EXPECT_EQ(ports[i].kernelDriver, "ftdi_sio");
    EXPECT_EQ(ports[i].accessible, expected[i].accessible);
  }
  EXPECT_THAT(ports[2].accessProblem, testing::StartsWith("Permission denied (-rw-rw---- "));
  // The group's members may, others may not.
  const auto strangers = stranger.ListPorts();
  EXPECT_TRUE(strangers[0].accessible);
  EXPECT_FALSE(strangers[3].accessible);
}

TEST_F(TtyDriverTest, ChosenSerialNumberOpensThatPod) {
  sysfs.AddUsbSerial("ttyUSB11", "1-3", "Brontaflex POD", "BFX00002");
  WriteFile(root / "dev/ttyUSB11", "");  // not a serial port: it cannot be set up
  pod.AnswerPings();
  ASSERT_TRUE(link.LoadDriver());
  link.ChooseSerialNumber("BFX00002");
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  link.ChooseSerialNumber("BFX00001");
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  pod.StopAnswering();
}

// A frame that gets no reply, written just before the close: a pseudo-terminal
// drops what the other end has not read yet when the PC's end purges its
// output, as a bridge may drop what it has not sent.
TEST_F(TtyDriverTest, TheLastFrameBeforeTheCloseReachesThePod) {
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE(run);
    ASSERT_NO_FATAL_FAILURE(OpenLink());
    PodCommands commands(link, {kF2808, kErasedCsmKeys});
    ASSERT_TRUE(commands.EndAccess());
    link.Close();
    EXPECT_EQ(pod.Receive(50), std::string("\x02H\x03"));
  }
}

// The system's port calls, but for what the test changes: the output queue
// that never empties of a POD that stopped reading, the speed a port keeps,
// and a record of the modem lines set.
class PortCallsStandIn : public TtyDriver::PortCalls {
 public:
  int stuckBytes = 0;
  std::optional<speed_t> keptSpeed;
  std::vector<int> modemLines;
  int GetAttributes(int fd, termios& settings) override {
    const int result = PortCalls::GetAttributes(fd, settings);
    if (result == 0 && keptSpeed) {
      cfsetospeed(&settings, *keptSpeed);
      cfsetispeed(&settings, *keptSpeed);
    }
    return result;
  }
  int OutputQueued(int fd, int& bytes) override {
    const int result = PortCalls::OutputQueued(fd, bytes);
    bytes += stuckBytes;
    return result;
  }
  int SetModemLines(int fd, int lines) override {
    modemLines.push_back(lines);
    PortCalls::SetModemLines(fd, lines);  // refused by a pseudo-terminal
    return 0;
  }
};

// tcdrain waits for as long as the other end does not take the bytes: a POD
// that stopped reading would hold a purge or a close until a signal.
TEST_F(TtyDriverTest, PurgeAndCloseWaitNoLongerThanTheDrainLimit) {
  auto calls = std::make_shared<PortCallsStandIn>();
  driver.SetPortCalls(calls);
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  calls->stuckBytes = 64;
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "Close" : "Purge");
    const auto start = std::chrono::steady_clock::now();
    if (closing) {
      link.Close();
    } else {
      link.Purge();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // The link's own drain and then the backend's, each bounded.
    EXPECT_GE(elapsed, std::chrono::milliseconds(PodLink::kDrainTimeoutMs));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3 * PodLink::kDrainTimeoutMs));
  }
  calls->stuckBytes = 0;
  EXPECT_FALSE(link.isOpen());
  ASSERT_NO_FATAL_FAILURE(OpenLink()) << "the port was given back";
}

// With HUPCL the kernel drops DTR and RTS at each close and raises them at
// the next open: a POD that wires them to its reset pulses at every operation.
TEST_F(TtyDriverTest, ModemLinesAreSetOnceAndNotDroppedAtTheClose) {
  // A USB serial port's settings as ftdi_sio first gives them.
  ASSERT_NO_FATAL_FAILURE(pod.ChangeLine([](termios& line) {
    line.c_cflag |= HUPCL;
    cfsetospeed(&line, B9600);
  }));
  ASSERT_NE(pod.Line().c_cflag & HUPCL, 0u);
  auto calls = std::make_shared<PortCallsStandIn>();
  driver.SetPortCalls(calls);
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  EXPECT_EQ(pod.Line().c_cflag & HUPCL, 0u) << "the close would drop DTR and RTS";
  EXPECT_EQ(calls->modemLines, std::vector<int>{TIOCM_DTR | TIOCM_RTS});
  link.Close();
  EXPECT_EQ(pod.Line().c_cflag & HUPCL, 0u);
  EXPECT_EQ(calls->modemLines, std::vector<int>{TIOCM_DTR | TIOCM_RTS}) << "touched at the close";
}

// Neither the sysfs write nor the low-latency request took: the link opens,
// slow, and says what the timer reads.
TEST_F(TtyDriverTest, LatencyThatCannotBeSetIsReadBack) {
  // A sysfs attribute that refuses the write, as latency_timer does to users
  // other than root; a pseudo-terminal refuses the low-latency request.
  fs::remove(LatencyFile());
  fs::create_directories(LatencyFile());
  ASSERT_NO_FATAL_FAILURE(OpenLink());
  EXPECT_EQ(link.latencyMs(), 16);
  EXPECT_EQ(link.latencyProblem(),
            "the latency timer reads back as 16 ms, not 1 ms (latency_timer not writable: Is a "
            "directory; low-latency mode refused: Inappropriate ioctl for device)");
}

// A serial port that cannot run at 921600 baud keeps another speed, and
// tcsetattr still succeeds.
TEST_F(TtyDriverTest, SpeedThatDoesNotTakeFailsTheOpenAndSaysWhichItIs) {
  auto calls = std::make_shared<PortCallsStandIn>();
  calls->keptSpeed = B115200;
  driver.SetPortCalls(calls);
  pod.AnswerPings();
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  pod.StopAnswering();
  EXPECT_EQ(link.failure().kind, FailureKind::DriverStatus);
  EXPECT_EQ(link.failure().detail, "the port's speed reads back as 115200 baud, not 921600 baud");
  EXPECT_EQ(driver.FailureDetail(), link.failure().detail);
}

// A bridge without a product string of its own, plugged into a hub that has
// one: the walk up from its port must stop at the bridge's USB device.
TEST_F(TtyDriverTest, BridgeBehindAHubKeepsItsOwnStrings) {
  const fs::path hub = root / "sys/devices/pci0000:00/usb1/1-4";
  WriteFile(hub / "idVendor", "05e3\n");
  WriteFile(hub / "product", "USB2.0 Hub\n");
  WriteFile(hub / "serial", "HUB0001\n");
  const fs::path bridge = hub / "1-4.2";
  WriteFile(bridge / "idVendor", "0403\n");
  const fs::path port = bridge / "1-4.2:1.0/ttyUSB3";
  WriteFile(port / "latency_timer", "16\n");
  fs::create_directories(port / "tty/ttyUSB3");
  fs::create_symlink("../../../ttyUSB3", port / "tty/ttyUSB3/device");
  fs::create_symlink(fs::relative(port / "tty/ttyUSB3", root / "sys/class/tty"),
                     root / "sys/class/tty/ttyUSB3");
  const auto ports = driver.ListPorts();
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].port, (root / "dev/ttyUSB3").string());
  EXPECT_EQ(ports[0].description, "");
  EXPECT_EQ(ports[0].serialNumber, "");
  EXPECT_EQ(ports[2].description, "Brontaflex POD") << "the others keep theirs";
}

TEST_F(TtyDriverTest, NoTtyClassMeansNoDriver) {
  TtyDriver elsewhere((root / "nothing").string(), (root / "dev").string());
  EXPECT_FALSE(elsewhere.Load());
}

}  // namespace
