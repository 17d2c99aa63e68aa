#include "pod/D2xxDriver.h"

#include <gtest/gtest.h>

#include "emulator/EmulatorDriver.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "tests/support/FakeClock.h"
#include "tests/support/SharedLibrary.h"
#include "tests/support/ftd2xx_emulator/D2xxStandIn.h"
#include "tests/support/ftd2xx_emulator/Ftd2xxEmulator.h"

namespace {

TEST(D2xxDriverTest, MissingLibraryOrFunctionMeansNoDriver) {
  // A library of the system loads but exports none of the D2XX functions.
#ifdef _WIN32
  const char* const files[] = {"ftd2xx-not-installed.dll", "kernel32.dll"};
#else
  const char* const files[] = {"libftd2xx-not-installed.so", "libm.so.6"};
#endif
  for (const char* file : files) {
    SCOPED_TRACE(file);
    D2xxDriver driver(file);
    FakeClock clock;
    PodLink link(driver, clock);
    EXPECT_FALSE(link.LoadDriver());
    EXPECT_FALSE(link.Find());
    EXPECT_EQ(link.Open(), OpenStatus::PortFailed);
    uint32_t count = 7;
    EXPECT_NE(driver.ListDeviceCount(count), kFtOk);
    EXPECT_EQ(count, 0u);
  }
}

// The backend against a library that exports the D2XX functions over the POD
// emulator: every call crosses the C interface exactly as with the vendor's.
class D2xxOverEmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << library_.error();
    attach_ = library_.Find<AttachDriverFunction>(kAttachDriverSymbol);
    ASSERT_NE(attach_, nullptr);
    attach_(&emulator);
  }
  void TearDown() override {
    link.UnloadDriver();
    if (attach_ != nullptr) {
      attach_(nullptr);
    }
  }

  FakeClock clock;
  EmulatorDriver emulator{clock};
  D2xxDriver driver{D2xxStandIn()};
  PodLink link{driver, clock};

 private:
  SharedLibrary library_{D2xxStandIn()};
  AttachDriverFunction attach_ = nullptr;
};

TEST_F(D2xxOverEmulatorTest, FindsOpensAndDrivesThePod) {
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  EXPECT_STREQ(link.description(), "Brontaflex POD");
  ASSERT_EQ(link.Open(), OpenStatus::Ok);
  EXPECT_TRUE(emulator.IsOpen());
  EXPECT_EQ(emulator.Line().baud, 921600u);
  EXPECT_EQ(emulator.Line().latencyMs, 1);
  EXPECT_EQ(emulator.Line().readTimeoutMs, 200u);

  PodCommands pod(link, {4, kErasedCsmKeys});
  EXPECT_TRUE(pod.QueryVersion());
  EXPECT_EQ(pod.podVersion(), 11);
  EXPECT_TRUE(pod.StartSciBoot(false, true));
  ASSERT_FALSE(emulator.Transcript().empty());
  EXPECT_EQ(emulator.Transcript().back().frame, std::string("\x02N5\x03"));
  EXPECT_EQ(emulator.Transcript().back().reply, "!");

  link.Close();
  EXPECT_FALSE(emulator.IsOpen());
}

TEST_F(D2xxOverEmulatorTest, UnpluggedPodFailsCommandsAndTheNextOpen) {
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.Find());
  ASSERT_EQ(link.Open(), OpenStatus::Ok);
  PodCommands pod(link, {3, kErasedCsmKeys});
  emulator.Unplug();
  EXPECT_FALSE(PodCommands::PingPod(link));
  link.Close();
  EXPECT_TRUE(link.found());
  EXPECT_EQ(link.Open(), OpenStatus::PortFailed);
  emulator.Replug();
  EXPECT_EQ(link.Open(), OpenStatus::Ok);
}

}  // namespace
