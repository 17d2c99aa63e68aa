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

  // Opens the POD by description, its line set up for it.
  Handle OpenPod() {
    auto openEx = Symbol<Status (*)(void*, uint32_t, Handle*)>("FT_OpenEx");
    auto setBaudRate = Symbol<Status (*)(Handle, uint32_t)>("FT_SetBaudRate");
    char name[] = "Brontaflex POD";
    Handle handle = nullptr;
    EXPECT_EQ(openEx(name, 2, &handle), kPortOk);
    EXPECT_EQ(setBaudRate(handle, 921600), kPortOk);
    return handle;
  }

  FakeClock clock_;
  EmulatorDriver pod_{clock_, TwoDevices()};
  SharedLibrary library_{FTD2XX_EMULATOR_PATH};
  AttachDriverFunction attach_ = nullptr;

 private:
  static EmulatorConfig TwoDevices() {
    EmulatorConfig config;
    config.devices = {"FT232R USB UART", "Brontaflex POD"};
    config.serialNumbers = {"A900XYZ", "BFX00001"};
    config.podIndex = 1;
    return config;
  }
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
  ASSERT_EQ(listDevices(&count, nullptr, 0x80000000), kPortOk);
  EXPECT_EQ(count, 0u);

  attach_(&pod_);
  ASSERT_EQ(listDevices(&count, nullptr, 0x80000000), kPortOk);
  EXPECT_EQ(count, 2u);
  char description[64] = {};
  ASSERT_EQ(listDevices(reinterpret_cast<void*>(uintptr_t{1}), description, 0x40000002), kPortOk);
  EXPECT_STREQ(description, "Brontaflex POD");
  ASSERT_EQ(listDevices(reinterpret_cast<void*>(uintptr_t{1}), description, 0x40000001), kPortOk);
  EXPECT_STREQ(description, "BFX00001");
  EXPECT_EQ(listDevices(reinterpret_cast<void*>(uintptr_t{1}), description, 0x40000004),
            kPortInvalidParameter);

  Handle handle = nullptr;
  char name[] = "Brontaflex POD";
  ASSERT_EQ(openEx(name, 2, &handle), kPortOk);
  ASSERT_NE(handle, nullptr);
  uint8_t latency = 0;
  ASSERT_EQ(getLatency(handle, &latency), kPortOk);
  EXPECT_EQ(latency, 16);
  // The POD is open already; by serial number it is the same device.
  Handle again = nullptr;
  char serialNumber[] = "BFX00001";
  EXPECT_EQ(openEx(serialNumber, 1, &again), kPortNotOpened);
  ASSERT_EQ(setBaudRate(handle, 921600), kPortOk);
  ASSERT_EQ(setData(handle, 8, 0, 0), kPortOk);
  ASSERT_EQ(setTimeouts(handle, 200, 200), kPortOk);

  std::string frame = Frame('?');
  uint32_t written = 0;
  ASSERT_EQ(write(handle, frame.data(), 3, &written), kPortOk);
  EXPECT_EQ(written, 3u);
  uint32_t rx = 0, tx = 0, events = 0;
  ASSERT_EQ(getStatus(handle, &rx, &tx, &events), kPortOk);
  EXPECT_EQ(rx, 6u);
  EXPECT_EQ(tx, 0u);
  char reply[6] = {};
  uint32_t returned = 0;
  ASSERT_EQ(read(handle, reply, 1, &returned), kPortOk);
  EXPECT_EQ(returned, 1u);
  EXPECT_EQ(reply[0], '!');
  ASSERT_EQ(queueStatus(handle, &rx), kPortOk);
  EXPECT_EQ(rx, 5u);
  ASSERT_EQ(purge(handle, 3), kPortOk);
  ASSERT_EQ(queueStatus(handle, &rx), kPortOk);
  EXPECT_EQ(rx, 0u);
  EXPECT_EQ(close(handle), kPortOk);
  EXPECT_EQ(close(handle), kPortInvalidHandle);
  EXPECT_EQ(pod_.Transcript().front().frame, Frame('?'));
  EXPECT_FALSE(pod_.IsOpen());
}

// The stand-in keeps each handle's line: a call changes its own part and
// configures the port with the whole; a call the port refuses changes nothing.
TEST_F(Ftd2xxEmulatorTest, EachCallSetsItsPartOfTheLine) {
  auto setBaudRate = Symbol<Status (*)(Handle, uint32_t)>("FT_SetBaudRate");
  auto setData = Symbol<Status (*)(Handle, uint8_t, uint8_t, uint8_t)>("FT_SetDataCharacteristics");
  auto setFlowControl = Symbol<Status (*)(Handle, uint16_t, uint8_t, uint8_t)>("FT_SetFlowControl");
  auto setTimeouts = Symbol<Status (*)(Handle, uint32_t, uint32_t)>("FT_SetTimeouts");
  auto setLatency = Symbol<Status (*)(Handle, uint8_t)>("FT_SetLatencyTimer");
  auto resetDevice = Symbol<Status (*)(Handle)>("FT_ResetDevice");
  auto write = Symbol<Status (*)(Handle, void*, uint32_t, uint32_t*)>("FT_Write");
  auto queueStatus = Symbol<Status (*)(Handle, uint32_t*)>("FT_GetQueueStatus");
  attach_(&pod_);
  const Handle handle = OpenPod();

  ASSERT_EQ(setTimeouts(handle, 200, 100), kPortOk);
  ASSERT_EQ(setData(handle, 7, 2, 2), kPortOk);
  EXPECT_EQ(pod_.Line().baud, 921600u);
  EXPECT_EQ(pod_.Line().dataBits, 7);
  EXPECT_EQ(pod_.Line().stopBits, 2);
  EXPECT_EQ(pod_.Line().parity, Parity::Even);
  EXPECT_EQ(pod_.Line().readTimeoutMs, 200u);
  EXPECT_EQ(pod_.Line().writeTimeoutMs, 100u);
  ASSERT_EQ(setFlowControl(handle, 0x0100, 0x11, 0x13), kPortOk);
  EXPECT_TRUE(pod_.Line().handshake);
  ASSERT_EQ(setFlowControl(handle, 0, 0, 0), kPortOk);
  EXPECT_FALSE(pod_.Line().handshake);

  EXPECT_EQ(setBaudRate(handle, 0), kPortInvalidParameter);
  EXPECT_EQ(setData(handle, 9, 0, 0), kPortInvalidParameter);
  EXPECT_EQ(setData(handle, 8, 1, 0), kPortInvalidParameter);  // 1 is no stop-bit code
  EXPECT_EQ(setData(handle, 8, 0, 5), kPortInvalidParameter);
  EXPECT_EQ(setLatency(handle, 0), kPortInvalidParameter);
  ASSERT_EQ(setData(handle, 8, 0, 0), kPortOk);
  EXPECT_EQ(pod_.Line().baud, 921600u);
  EXPECT_EQ(pod_.Line().stopBits, 1);
  EXPECT_EQ(pod_.Line().parity, Parity::None);

  // The reset keeps the line and drops what came back.
  std::string frame = Frame('?');
  uint32_t written = 0, waiting = 0;
  ASSERT_EQ(write(handle, frame.data(), 3, &written), kPortOk);
  ASSERT_EQ(resetDevice(handle), kPortOk);
  ASSERT_EQ(queueStatus(handle, &waiting), kPortOk);
  EXPECT_EQ(waiting, 0u);
  EXPECT_EQ(pod_.Line().baud, 921600u);
  EXPECT_EQ(pod_.Line().writeTimeoutMs, 100u);
}

// Only a handle the stand-in gave out and has not closed reaches a port, and
// detaching the driver closes what was opened through it.
TEST_F(Ftd2xxEmulatorTest, UnknownAndDetachedHandlesAreInvalid) {
  auto getLatency = Symbol<Status (*)(Handle, uint8_t*)>("FT_GetLatencyTimer");
  auto close = Symbol<Status (*)(Handle)>("FT_Close");
  attach_(&pod_);
  const Handle handle = OpenPod();
  uint8_t latency = 0;
  int notAHandle = 0;
  EXPECT_EQ(getLatency(&notAHandle, &latency), kPortInvalidHandle);
  EXPECT_EQ(close(&notAHandle), kPortInvalidHandle);
  EXPECT_EQ(getLatency(handle, &latency), kPortOk);

  attach_(nullptr);
  EXPECT_FALSE(pod_.IsOpen());
  EXPECT_EQ(getLatency(handle, &latency), kPortInvalidHandle);
  EXPECT_EQ(close(handle), kPortInvalidHandle);
}

}  // namespace
