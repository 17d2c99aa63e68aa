// The emulator as an FTDI driver: enumeration, opening, handles, the line
// set-up the POD needs, the read time-out on the clock, queues and purge.
#include <gtest/gtest.h>

#include "tests/emulator/WireHarness.h"

namespace {

std::vector<std::string> Listed(EmulatorDriver& driver) {
  uint32_t count = 0;
  EXPECT_EQ(driver.ListDeviceCount(count), kFtOk);
  std::vector<std::string> descriptions;
  for (uint32_t index = 0; index < count; ++index) {
    char description[kFtDescriptionSize];
    EXPECT_EQ(driver.ListDeviceDescription(index, description), kFtOk);
    descriptions.emplace_back(description);
  }
  char beyond[kFtDescriptionSize];
  EXPECT_EQ(driver.ListDeviceDescription(count, beyond), kFtDeviceNotFound);
  return descriptions;
}

TEST(DriverTest, ListsTheConfiguredDevicesAndOpensOnlyThePod) {
  EmulatorConfig config;
  config.devices = {"Brontaflex POD ", "FT232R USB UART", "Brontaflex POD"};
  config.podIndex = 2;
  FakeClock clock;
  EmulatorDriver driver(clock, config);
  EXPECT_EQ(Listed(driver), config.devices);

  FtHandle handle = nullptr;
  EXPECT_EQ(driver.OpenByDescription("FT232R USB UART", handle), kFtDeviceNotOpened);
  EXPECT_EQ(driver.OpenByDescription("brontaflex pod", handle), kFtDeviceNotFound);
  ASSERT_EQ(driver.OpenByDescription("Brontaflex POD", handle), kFtOk);
  FtHandle second = nullptr;
  EXPECT_EQ(driver.OpenByDescription("Brontaflex POD", second), kFtDeviceNotOpened);
  EXPECT_EQ(driver.Close(handle), kFtOk);
  // A handle is dead once closed, even after the device is opened again.
  ASSERT_EQ(driver.OpenByDescription("Brontaflex POD", second), kFtOk);
  uint8_t latency = 0;
  EXPECT_EQ(driver.GetLatencyTimer(handle, latency), kFtInvalidHandle);
  EXPECT_EQ(driver.Close(handle), kFtInvalidHandle);
  EXPECT_EQ(driver.GetLatencyTimer(second, latency), kFtOk);

  driver.Unplug();
  EXPECT_EQ(Listed(driver), (std::vector<std::string>{"Brontaflex POD ", "FT232R USB UART"}));
}

TEST(DriverTest, WithoutAPodNothingOpens) {
  EmulatorConfig config;
  config.devices = {};
  config.podIndex.reset();
  FakeClock clock;
  EmulatorDriver driver(clock, config);
  EXPECT_TRUE(Listed(driver).empty());
  FtHandle handle = nullptr;
  EXPECT_EQ(driver.OpenByDescription("Brontaflex POD", handle), kFtDeviceNotFound);
}

TEST(DriverTest, ThePodHearsNoiseUntilTheLineIsSetUp) {
  WireHarness wire;
  ASSERT_EQ(wire.driver.OpenByDescription("Brontaflex POD", wire.handle), kFtOk);
  EXPECT_EQ(wire.Exchange(Frame('I')), "");
  ASSERT_EQ(wire.driver.SetBaudRate(wire.handle, 921600), kFtOk);
  ASSERT_EQ(wire.driver.SetDataCharacteristics(wire.handle, 8, 2, 0), kFtOk);
  EXPECT_EQ(wire.Exchange(Frame('I')), "");
  ASSERT_EQ(wire.driver.SetDataCharacteristics(wire.handle, 8, 0, 0), kFtOk);
  EXPECT_EQ(wire.Exchange(Frame('I')), "!");

  const auto& transcript = wire.driver.Transcript();
  ASSERT_EQ(transcript.size(), 3u);
  EXPECT_EQ(transcript[0].kind, TranscriptEntry::Kind::Junk);
  EXPECT_FALSE(transcript[0].note.empty());
  EXPECT_EQ(wire.driver.Line().baud, 921600u);

  EXPECT_EQ(wire.driver.SetDataCharacteristics(wire.handle, 9, 0, 0), kFtInvalidParameter);
  EXPECT_EQ(wire.driver.SetBaudRate(wire.handle, 0), kFtInvalidParameter);
}

TEST(DriverTest, LatencyTimerStartsAtTheBridgeDefaultAndCountsWrites) {
  EmulatorConfig config;
  config.initialLatencyMs = 1;
  WireHarness wire(config);
  wire.Open();
  uint8_t latency = 0;
  ASSERT_EQ(wire.driver.GetLatencyTimer(wire.handle, latency), kFtOk);
  EXPECT_EQ(latency, 1);
  EXPECT_EQ(wire.driver.Line().latencyWrites, 0u);
  ASSERT_EQ(wire.driver.SetLatencyTimer(wire.handle, 4), kFtOk);
  EXPECT_EQ(wire.driver.SetLatencyTimer(wire.handle, 0), kFtInvalidParameter);
  ASSERT_EQ(wire.driver.GetLatencyTimer(wire.handle, latency), kFtOk);
  EXPECT_EQ(latency, 4);
  EXPECT_EQ(wire.driver.Line().latencyWrites, 1u);
}

TEST(DriverTest, ReadWaitsOnTheClockUpToTheTimeOutAndLeavesTheRestQueued) {
  WireHarness wire;
  wire.Open();
  char byte = 0;
  uint32_t returned = 7;
  const uint32_t start = wire.clock.NowMs();
  ASSERT_EQ(wire.driver.Read(wire.handle, &byte, 1, returned), kFtOk);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(wire.clock.NowMs() - start, 200u);

  wire.Send(Frame('?'));
  ASSERT_EQ(wire.driver.Read(wire.handle, &byte, 1, returned), kFtOk);
  EXPECT_EQ(returned, 1u);
  EXPECT_EQ(byte, '!');
  EXPECT_EQ(wire.clock.NowMs() - start, 200u);  // it was there: no wait
  uint32_t waiting = 0;
  ASSERT_EQ(wire.driver.GetQueueStatus(wire.handle, waiting), kFtOk);
  EXPECT_EQ(waiting, 5u);

  // Asking for more than will come returns what came, after the time-out.
  char rest[8] = {};
  ASSERT_EQ(wire.driver.Read(wire.handle, rest, sizeof rest, returned), kFtOk);
  EXPECT_EQ(std::string(rest, returned), "QZV11");
  EXPECT_EQ(wire.clock.NowMs() - start, 400u);
}

TEST(DriverTest, PurgeDropsWhatArrivedAndCloseDropsEverything) {
  WireHarness wire;
  wire.Open();
  wire.Send(Frame('?'));
  ASSERT_EQ(wire.driver.Purge(wire.handle, kFtPurgeRx), kFtOk);
  EXPECT_EQ(wire.Received(), "");

  wire.Send(Frame('I'));
  ASSERT_EQ(wire.driver.Close(wire.handle), kFtOk);
  wire.Open();
  EXPECT_EQ(wire.Received(), "");
  uint32_t rx = 1, tx = 1, events = 1;
  ASSERT_EQ(wire.driver.GetStatus(wire.handle, rx, tx, events), kFtOk);
  EXPECT_EQ(rx + tx + events, 0u);
}

}  // namespace
