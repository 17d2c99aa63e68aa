#include "ops/Doctor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/EmulatorDriver.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"

#ifdef __linux__
#include <sys/file.h>
#include <sys/stat.h>

#include "pod/TtyDriver.h"
#include "tests/support/FakeSerialBench.h"
#endif

namespace {

using testing::HasSubstr;
using testing::StartsWith;

// "FAIL ping BFX00001: detail | fix", one string a check, for readable failures.
std::vector<std::string> Lines(const std::vector<DoctorCheck>& checks) {
  std::vector<std::string> lines;
  for (const DoctorCheck& check : checks) {
    lines.push_back(std::string(CheckStatusName(check.status)) + " " + check.check + " " +
                    check.subject + ": " + check.detail + (check.fix.empty() ? "" : " | ") +
                    check.fix);
  }
  return lines;
}

struct DoctorRun {
  bool passed = false;
  std::vector<DoctorCheck> checks;

  const DoctorCheck* Find(const std::string& check, const std::string& subject) const {
    for (const DoctorCheck& c : checks) {
      if (c.check == check && c.subject == subject) {
        return &c;
      }
    }
    return nullptr;
  }
};

DoctorRun RunOn(DoctorSetup& setup, Clock& clock) {
  DoctorRun run;
  run.passed = RunDoctor(setup, clock, [&](DoctorCheck check) { run.checks.push_back(check); });
  return run;
}

TEST(DoctorTest, OnTheEmulatorEveryCheckPasses) {
  FakeClock clock;
  DoctorSetup setup;
  setup.backends.push_back(std::make_unique<EmulatorDriver>(clock));
  const DoctorRun run = RunOn(setup, clock);
  EXPECT_TRUE(run.passed);
  EXPECT_EQ(Lines(run.checks),
            (std::vector<std::string>{
                "ok driver emulator: loaded",
                "ok pods BFX00001: seen by emulator at #0",
                "ok ping BFX00001: answers through emulator",
                "ok speed BFX00001: 921600 baud set; emulator cannot read it back",
                "ok firmware BFX00001: 1.1",
                "ok target reset BFX00001: the target was reset",
            }));
}

TEST(DoctorTest, EachFaultFailsItsCheckWithAFix) {
  const struct {
    const char* what;
    std::function<void(FakePortDriver&)> setUp;
    const char* check;
    const char* subject;
    const char* detail;
    const char* fix;
  } cases[] = {
      {"no driver loads", [](FakePortDriver& d) { d.loads = false; }, "driver", "fake",
       "does not load", ""},
      {"no POD", [](FakePortDriver& d) { d.devices = {"USB Serial"}; }, "pods", "", "no POD seen",
       "plug the POD in"},
      // The vendor library sees the POD but is refused it (ftdi_sio holds it).
      {"the driver refuses the POD",
       [](FakePortDriver& d) { d.failures["Open serial number"] = kPortNotOpened; }, "ping",
       "FAKE0", "fake: open the port: driver status 3", "unplug the POD and plug it in again"},
      {"the POD is silent", [](FakePortDriver&) {}, "ping", "FAKE0",
       "fake: time-out after 402 ms waiting for the reply to I", "check that it is powered"},
      {"the target does not answer its reset",
       [](FakePortDriver& d) {
         // Ping and version answered, the reset not.
         d.onWrite = [&d](std::string_view frame) {
           if (frame == "\x02I\x03") {
             d.QueueReply("!");
           } else if (frame == "\x02?\x03") {
             d.QueueReply("!QZV11");
           }
         };
       },
       "target reset", "FAKE0", "time-out after 1", "check the target board's power"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    auto driver = std::make_unique<FakePortDriver>(clock);
    c.setUp(*driver);
    DoctorSetup setup;
    setup.backends.push_back(std::move(driver));
    const DoctorRun run = RunOn(setup, clock);
    EXPECT_FALSE(run.passed) << testing::PrintToString(Lines(run.checks));
    const DoctorCheck* check = run.Find(c.check, c.subject);
    ASSERT_NE(check, nullptr) << testing::PrintToString(Lines(run.checks));
    EXPECT_EQ(check->status, CheckStatus::Fail);
    EXPECT_THAT(check->detail, StartsWith(c.detail));
    EXPECT_THAT(check->fix, HasSubstr(c.fix));
  }
}

// A backend that does not load is only a warning while another reaches the POD.
TEST(DoctorTest, AMissingBackendIsAWarningWhileAnotherReachesThePod) {
  FakeClock clock;
  auto missing = std::make_unique<FakePortDriver>(clock);
  missing->loads = false;
  DoctorSetup setup;
  setup.backends.push_back(std::move(missing));
  setup.backends.push_back(std::make_unique<EmulatorDriver>(clock));
  const DoctorRun run = RunOn(setup, clock);
  EXPECT_TRUE(run.passed) << testing::PrintToString(Lines(run.checks));
  ASSERT_NE(run.Find("driver", "fake"), nullptr);
  EXPECT_EQ(run.Find("driver", "fake")->status, CheckStatus::Warn);
}

#ifdef __linux__
// The tty backend on a fake sysfs: a POD whose port another program holds, a
// second POD that no kernel driver serves while the D2XX library is missing,
// a latency timer left at 16 ms and nodes this user may not open.
TEST(DoctorTest, OnAFakeSysfsEachProblemHasItsFix) {
  PtyPod pod;
  ASSERT_TRUE(pod.ok());
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("bfx-doctor-" + std::to_string(getpid()));
  std::filesystem::remove_all(root);
  FakeSysfs sysfs(root);
  sysfs.AddUsbSerial("ttyUSB0", "1-2", "Brontaflex POD", "BFX00001");
  std::filesystem::create_symlink(pod.devicePath(), root / "dev/ttyUSB0");
  sysfs.UsbDevice("1-3", "Brontaflex POD", "BFX00002");
  // Another program holds the first POD's port.
  const int holder = open(pod.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  SystemClock clock;
  DoctorSetup setup;
  const TtyDriver::User user{4242, {4242}};
  setup.backends.push_back(
      std::make_unique<TtyDriver>((root / "sys").string(), (root / "dev").string(), user));
  setup.usbBridges = [&] {
    return TtyDriver((root / "sys").string(), (root / "dev").string(), user).DescribeUsbBridges();
  };
  const DoctorRun run = RunOn(setup, clock);
  close(holder);
  std::filesystem::remove_all(root);

  EXPECT_FALSE(run.passed);
  const auto expect = [&](const char* check, const std::string& subject, CheckStatus status,
                          const std::string& detail, const char* fix) {
    SCOPED_TRACE(std::string(check) + " " + subject);
    const DoctorCheck* found = run.Find(check, subject);
    ASSERT_NE(found, nullptr) << testing::PrintToString(Lines(run.checks));
    EXPECT_EQ(found->status, status);
    EXPECT_THAT(found->detail, HasSubstr(detail));
    EXPECT_THAT(found->fix, HasSubstr(fix));
  };
  expect("kernel driver", "1-2 \"Brontaflex POD\" serial BFX00001", CheckStatus::Ok,
         "ftdi_sio holds it", "");
  expect("kernel driver", "1-3 \"Brontaflex POD\" serial BFX00002", CheckStatus::Fail,
         "none bound, and the D2XX library is not there", "sudo modprobe ftdi_sio");
  expect("access", (root / "dev/ttyUSB0").string(), CheckStatus::Warn, "Permission denied",
         "sudo usermod -aG");
  expect("latency", (root / "dev/ttyUSB0").string(), CheckStatus::Warn, "16 ms, not 1 ms",
         "udev rule");
  expect("pods", "BFX00001", CheckStatus::Ok, "seen by tty", "");
  expect("ping", "BFX00001", CheckStatus::Fail, "is in use by process " + std::to_string(getpid()),
         "close the program that holds it");
  EXPECT_EQ(run.Find("pods", "BFX00002"), nullptr) << "no port: the tty backend cannot see it";
}
#endif

}  // namespace
