#include "ops/DriverSelection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "emulator/EmulatorConfig.h"
#include "image/Utf8Path.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "tests/ops/Programs.h"
#include "tests/support/Environment.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortDriver.h"

namespace {

TEST(DriverSelectionTest, NamesPickTheirBackend) {
  FakeClock clock;
  const struct {
    const char* name;
    const char* backend;
  } cases[] = {
      {"d2xx", "d2xx"},
#ifdef __linux__
      {"tty", "tty"},
      {"tty:/dev/ttyUSB3", "tty"},
#endif
      {"emulator", "emulator"},
  };
  for (const auto& c : cases) {
    const DriverSelection selection = SelectDriver(c.name, clock);
    ASSERT_NE(selection.driver, nullptr) << c.name;
    EXPECT_EQ(selection.driver->Name(), c.backend);
    EXPECT_TRUE(selection.error.empty());
  }
  // Without the vendor library on this machine the default is Linux's own driver.
  const DriverSelection fallback = SelectDriver("", clock);
  ASSERT_NE(fallback.driver, nullptr);
  EXPECT_TRUE(fallback.driver->Name() == "tty" || fallback.driver->Name() == "d2xx");
}

TEST(DriverSelectionTest, VendorLibraryIsUsedOnlyWhereItOpensThePodAskedFor) {
  const struct {
    const char* name;
    bool loads;
    std::vector<std::string> devices;
    std::vector<std::string> failing;  // calls that fail with FT_DEVICE_NOT_OPENED
    std::string pod;
    bool opens;
    const char* why;
  } cases[] = {
      {"Opens", true, {"USB Serial", "Brontaflex POD"}, {}, "", true, "it opens the POD"},
      {"HeldByTheKernelDriver",
       true,
       {"Brontaflex POD"},
       {"Open description"},
       "",
       false,
       "it sees the POD but cannot open it (driver status 3)"},
      // Another program holds the first POD; the one asked for is free.
      {"SecondPodWhileTheFirstIsHeld",
       true,
       {"Brontaflex POD", "Brontaflex POD"},
       {"Open description", "Open serial number FAKE0"},
       "FAKE1",
       true,
       "it opens the POD"},
      {"PodAskedForIsHeld",
       true,
       {"Brontaflex POD", "Brontaflex POD"},
       {"Open serial number FAKE1"},
       "FAKE1",
       false,
       "it sees the POD FAKE1 but cannot open it (driver status 3)"},
      {"NoPod", true, {"USB Serial"}, {}, "", false, "it sees no POD"},
      {"NotThePodAskedFor", true, {"Brontaflex POD"}, {}, "FAKE7", false, "it sees no POD FAKE7"},
      {"NoLibrary", false, {"Brontaflex POD"}, {}, "", false, "it does not load"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakePortDriver d2xx(clock);
    d2xx.loads = c.loads;
    d2xx.devices = c.devices;
    for (const std::string& call : c.failing) {
      d2xx.failures[call] = kPortNotOpened;
    }
    const BackendProbe probe = ProbeBackend(d2xx, c.pod);
    EXPECT_EQ(probe.used, c.opens);
    EXPECT_EQ(probe.backend, "fake");
    EXPECT_TRUE(probe.why.starts_with(c.why)) << probe.why;
    // What it saw, also when it cannot open it (a user without access to the
    // USB device still sees it listed): never "no FTDI device".
    EXPECT_EQ(probe.ports.size(), c.loads ? c.devices.size() : 0u);
    EXPECT_EQ(d2xx.openPorts(), 0u);
  }
}

TEST(DriverSelectionTest, UnknownNamesAreAClearError) {
  FakeClock clock;
#ifdef __linux__
  const char* const names[] = {"D2XX", "serial", "tty:", "emulator2"};
#else
  // Linux's own driver is not there to be named.
  const char* const names[] = {"D2XX", "serial", "tty", "tty:/dev/ttyUSB3", "emulator2"};
#endif
  for (const char* name : names) {
    const DriverSelection selection = SelectDriver(name, clock);
    EXPECT_EQ(selection.driver, nullptr) << name;
    EXPECT_NE(selection.error.find(std::string("\"") + name + "\""), std::string::npos)
        << selection.error;
    EXPECT_NE(selection.error.find(kDriverNames), std::string::npos);
  }
}

TEST(DriverSelectionTest, EmulatedPodGetsAFolderForItsStateFile) {
  FakeClock clock;
  ScratchDir dir;
  const EmulatorSetup setup{dir.path() / "state" / "pod", kF2809};
  const DriverSelection selection = SelectDriver("emulator", clock, setup);
  ASSERT_NE(selection.driver, nullptr);
  // The folder is made so the POD has somewhere to save.
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "state"));
}

TEST(DriverSelectionTest, StatePathFromTheEnvironment) {
  const char* const names[] = {"BRONTAFLEX_EMULATOR_STATE", "XDG_STATE_HOME", "HOME",
                               "LOCALAPPDATA"};
  std::vector<std::optional<std::string>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
  }
  const struct {
    const char* values[4];  // in the order of `names`
    std::filesystem::path path;
  } cases[] = {
      {{"/tmp/pod", "/x", "/h", "/l"}, "/tmp/pod"},
      {{"/tmp/\xEC\x83\x81\xED\x83\x9C pod", "/x", "/h", "/l"},
       std::u8string(u8"/tmp/\uC0C1\uD0DC pod")},
#ifdef _WIN32
      {{nullptr, "/x", "/h", "/l"}, "/l/brontaflex/emulated-pod"},
      {{nullptr, "/x", "/h", nullptr}, ""},
#else
      {{nullptr, "/x", "/h", "/l"}, "/x/brontaflex/emulated-pod"},
      {{nullptr, nullptr, "/h", "/l"}, "/h/.local/state/brontaflex/emulated-pod"},
      {{nullptr, nullptr, nullptr, "/l"}, ""},
#endif
  };
  for (const auto& c : cases) {
    for (size_t n = 0; n < std::size(names); ++n) {
      SetEnvironment(names[n], c.values[n]);
    }
    EXPECT_EQ(EmulatorStatePathFromEnvironment(), c.path) << c.values[0];
  }
  for (size_t n = 0; n < std::size(names); ++n) {
    SetEnvironment(names[n], saved[n] ? saved[n]->c_str() : nullptr);
  }
}

TEST(DriverSelectionTest, EmulatorTimingFromTheEnvironmentMakesAResetTakeItsRealTime) {
  ScratchDir dir;
  SetEnvironment("BRONTAFLEX_EMULATOR_STATE", Utf8FromPath(dir.path() / "pod").c_str());
  const uint32_t resetMs = WireTiming{}.resetUs / 1000;
  const struct {
    const char* value;  // null: unset
    bool timed;
  } cases[] = {{"1", true}, {"0", false}, {"", false}, {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "unset");
    SetEnvironment("BRONTAFLEX_EMULATOR_TIMING", c.value);
    FakeClock clock;
    const DriverSelection selection =
        SelectDriver("emulator", clock, EmulatorSetupFromEnvironment(kDefaultMcuType));
    ASSERT_NE(selection.driver, nullptr);
    PodLink link(*selection.driver, clock);
    ASSERT_TRUE(link.LoadDriver() && link.Find());
    ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
    PodCommands commands(link, {kDefaultMcuType, kErasedCsmKeys});
    const uint32_t start = clock.NowMs();
    EXPECT_TRUE(commands.ResetTarget());
    EXPECT_EQ(clock.NowMs() - start >= resetMs, c.timed) << clock.NowMs() - start << " ms";
  }
  SetEnvironment("BRONTAFLEX_EMULATOR_TIMING", nullptr);
  SetEnvironment("BRONTAFLEX_EMULATOR_STATE", nullptr);
}

}  // namespace
