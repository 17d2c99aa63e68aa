// The D2XX stand-in library, loaded the way the d2xx backend loads the vendor's:
// by path, each function looked up by name, driving an attached emulator.
#include <gtest/gtest.h>

#include "tests/emulator/WireHarness.h"
#include "tests/support/SharedLibrary.h"
#include "tests/support/ftd2xx_emulator/Ftd2xxEmulator.h"

namespace {

using Status = uint32_t;
using Handle = void*;

class Ftd2xxEmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << library_.error();
    attach_ = Symbol<AttachDriverFunction>(kAttachDriverSymbol);
  }
  void TearDown() override {
    if (attach_ != nullptr) {
      attach_(nullptr);
    }
  }
  template <typename Function>
  Function Symbol(const char* name) {
    auto function = library_.Find<Function>(name);
    EXPECT_NE(function, nullptr) << name;
    return function;
  }

  SharedLibrary library_{FTD2XX_EMULATOR_PATH};
  AttachDriverFunction attach_ = nullptr;
};

TEST_F(Ftd2xxEmulatorTest, ListsOpensAndTalksToTheAttachedPod) {
  auto listDevices = Symbol<Status (*)(void*, void*, uint32_t)>("FT_ListDevices");
  auto openEx = Symbol<Status (*)(void*, uint32_t, Handle*)>("FT_OpenEx");
  auto setBaudRate = Symbol<Status (*)(Handle, uint32_t)>("FT_SetBaudRate");
  auto setData = Symbol<Status (*)(Handle, uint8_t, uint8_t, uint8_t)>("FT_SetDataCharacteristics");
  auto setTimeouts = Symbol<Status (*)(Handle, uint32_t, uint32_t)>("FT_SetTimeouts");
  auto getLatency = Symbol<Status (*)(Handle, uint8_t*)>("FT_GetLatencyTimer");
  auto write = Symbol<Status (*)(Handle, void*, uint32_t, uint32_t*)>("FT_Write");
  auto getStatus = Symbol<Status (*)(Handle, uint32_t*, uint32_t*, uint32_t*)>("FT_GetStatus");
  auto queueStatus = Symbol<Status (*)(Handle, uint32_t*)>("FT_GetQueueStatus");
  auto read = Symbol<Status (*)(Handle, void*, uint32_t, uint32_t*)>("FT_Read");
  auto purge = Symbol<Status (*)(Handle, uint32_t)>("FT_Purge");
  auto close = Symbol<Status (*)(Handle)>("FT_Close");
  for (const char* name : {"FT_ResetDevice", "FT_SetLatencyTimer", "FT_SetFlowControl"}) {
    EXPECT_TRUE(library_.Exports(name)) << name;
  }

  // Nothing attached: a machine without FTDI devices.
  uint32_t count = 9;
  ASSERT_EQ(listDevices(&count, nullptr, 0x80000000), kFtOk);
  EXPECT_EQ(count, 0u);

  FakeClock clock;
  EmulatorConfig config;
  config.devices = {"FT232R USB UART", "Brontaflex POD"};
  config.serialNumbers = {"A900XYZ", "BFX00001"};
  config.podIndex = 1;
  EmulatorDriver pod(clock, config);
  attach_(&pod);
  ASSERT_EQ(listDevices(&count, nullptr, 0x80000000), kFtOk);
  EXPECT_EQ(count, 2u);
  char description[64] = {};
  ASSERT_EQ(listDevices(reinterpret_cast<void*>(uintptr_t{1}), description, 0x40000002), kFtOk);
  EXPECT_STREQ(description, "Brontaflex POD");
  ASSERT_EQ(listDevices(reinterpret_cast<void*>(uintptr_t{1}), description, 0x40000001), kFtOk);
  EXPECT_STREQ(description, "BFX00001");
  EXPECT_EQ(listDevices(reinterpret_cast<void*>(uintptr_t{1}), description, 0x40000004),
            kFtInvalidParameter);

  Handle handle = nullptr;
  char name[] = "Brontaflex POD";
  ASSERT_EQ(openEx(name, 2, &handle), kFtOk);
  ASSERT_NE(handle, nullptr);
  uint8_t latency = 0;
  ASSERT_EQ(getLatency(handle, &latency), kFtOk);
  EXPECT_EQ(latency, 16);
  // The POD is open already; by serial number it is the same device.
  Handle again = nullptr;
  char serialNumber[] = "BFX00001";
  EXPECT_EQ(openEx(serialNumber, 1, &again), kFtDeviceNotOpened);
  ASSERT_EQ(setBaudRate(handle, 921600), kFtOk);
  ASSERT_EQ(setData(handle, 8, 0, 0), kFtOk);
  ASSERT_EQ(setTimeouts(handle, 200, 200), kFtOk);

  std::string frame = Frame('?');
  uint32_t written = 0;
  ASSERT_EQ(write(handle, frame.data(), 3, &written), kFtOk);
  EXPECT_EQ(written, 3u);
  uint32_t rx = 0, tx = 0, events = 0;
  ASSERT_EQ(getStatus(handle, &rx, &tx, &events), kFtOk);
  EXPECT_EQ(rx, 6u);
  EXPECT_EQ(tx, 0u);
  char reply[6] = {};
  uint32_t returned = 0;
  ASSERT_EQ(read(handle, reply, 1, &returned), kFtOk);
  EXPECT_EQ(returned, 1u);
  EXPECT_EQ(reply[0], '!');
  ASSERT_EQ(queueStatus(handle, &rx), kFtOk);
  EXPECT_EQ(rx, 5u);
  ASSERT_EQ(purge(handle, 3), kFtOk);
  ASSERT_EQ(queueStatus(handle, &rx), kFtOk);
  EXPECT_EQ(rx, 0u);
  EXPECT_EQ(close(handle), kFtOk);
  EXPECT_EQ(close(handle), kFtInvalidHandle);
  EXPECT_EQ(pod.Transcript().front().frame, Frame('?'));
}

}  // namespace
