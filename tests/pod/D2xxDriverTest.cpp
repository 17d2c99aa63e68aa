#include "pod/D2xxDriver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <system_error>

#include "image/Utf8Path.h"

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
    EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
    EXPECT_TRUE(driver.ListPorts().empty());
  }
}

TEST(D2xxDriverTest, LoadProblemSaysWhyAndWhere) {
#ifdef _WIN32
  D2xxDriver missing("ftd2xx-not-installed.dll");
  EXPECT_FALSE(missing.Load());
  EXPECT_THAT(missing.LoadProblem(),
              testing::AllOf(testing::StartsWith("ftd2xx-not-installed.dll is not in "),
                             testing::HasSubstr("ystem32, where FTDI's D2XX driver installer")));
  D2xxDriver other("kernel32.dll");
#else
  D2xxDriver missing("libftd2xx-not-installed.so");
  EXPECT_FALSE(missing.Load());
  EXPECT_THAT(missing.LoadProblem(),
              testing::AllOf(testing::HasSubstr("libftd2xx-not-installed.so"),
                             testing::HasSubstr("looked for in LD_LIBRARY_PATH")));
  D2xxDriver other("libm.so.6");
#endif
  EXPECT_FALSE(other.Load());
  EXPECT_THAT(other.LoadProblem(), testing::HasSubstr("lacks FT_ListDevices"));
  D2xxDriver present(D2xxStandIn());
  EXPECT_TRUE(present.Load());
  EXPECT_EQ(present.LoadProblem(), "");
}

// libftd2xx starts threads of its own, which may still run after the library
// is unloaded, in code that is no longer there.
TEST(D2xxDriverTest, LibraryStaysLoadedOnceProbed) {
  {
    D2xxDriver driver(D2xxStandIn());
    ASSERT_TRUE(driver.Load());
    driver.Unload();
    D2xxDriver again(D2xxStandIn());
    ASSERT_TRUE(again.Load());
  }
#ifdef _WIN32
  EXPECT_NE(GetModuleHandleW(
                std::filesystem::absolute(PathFromUtf8(D2xxStandIn())).make_preferred().c_str()),
            nullptr);
#else
  void* still = dlopen(D2xxStandIn().c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(still, nullptr);
  if (still != nullptr) {
    dlclose(still);
  }
#endif
}

#ifdef _WIN32
// The zip is unpacked anywhere, Downloads most often: an ftd2xx.dll beside the
// program or in the current folder must not be taken for the vendor's.
TEST(D2xxDriverTest, PlantedLibraryBesideTheProgramIsNotLoaded) {
  if (GetModuleHandleW(L"ftd2xx.dll") != nullptr) {
    // Windows hands out a module already loaded under the name, wherever from.
    GTEST_SKIP() << "an earlier test of this process loaded the stand-in; run this one alone";
  }
  wchar_t program[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
  const std::filesystem::path beside = std::filesystem::path(program).parent_path() / "ftd2xx.dll";
  const std::filesystem::path current = std::filesystem::current_path() / "ftd2xx.dll";
  std::error_code error;
  // The test runs in the program's folder as often as not.
  const bool one = std::filesystem::equivalent(beside.parent_path(), current.parent_path(), error);
  for (const auto& planted : {beside, current}) {
    if (one && planted == current) {
      break;
    }
    std::filesystem::remove(planted, error);
    std::filesystem::copy_file(PathFromUtf8(D2xxStandIn()), planted, error);
    ASSERT_FALSE(error) << error.message();
  }
  D2xxDriver driver;
  const bool loaded = driver.Load();
  const std::string problem = driver.LoadProblem();
  for (const auto& planted : {beside, current}) {
    std::filesystem::remove(planted, error);
  }
  EXPECT_FALSE(loaded) << "loaded a planted ftd2xx.dll";
  EXPECT_THAT(problem, testing::StartsWith("ftd2xx.dll is not in "));
  EXPECT_EQ(GetModuleHandleW(beside.c_str()), nullptr);
}
#endif

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
  ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  EXPECT_TRUE(emulator.IsOpen());
  EXPECT_EQ(emulator.Line().baud, 921600u);
  EXPECT_EQ(emulator.Line().latencyMs, 1);
  EXPECT_EQ(emulator.Line().readTimeoutMs, 200u);

  PodCommands pod(link, {kF2809, kErasedCsmKeys});
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
  ASSERT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
  PodCommands pod(link, {kF2808, kErasedCsmKeys});
  emulator.Unplug();
  EXPECT_FALSE(PodCommands::PingPod(link));
  link.Close();
  EXPECT_TRUE(link.found());
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::PortFailed);
  emulator.Replug();
  EXPECT_EQ(PodCommands::OpenPod(link), OpenStatus::Ok);
}

}  // namespace
