// The emulator as a port driver: enumeration, opening, stale ports, the line
// set-up the POD needs, the read time-out on the clock, queues and purge.
#include <gtest/gtest.h>

#include "tests/emulator/WireHarness.h"

namespace {

std::vector<std::string> Listed(EmulatorDriver& driver) {
  std::vector<std::string> descriptions;
  for (const PortDetails& port : driver.ListPorts()) {
    EXPECT_EQ(port.port, "#" + std::to_string(descriptions.size()));
    descriptions.push_back(port.description);
  }
  return descriptions;
}

PortKey Described(std::string text) {
  return {PortKey::By::Description, std::move(text)};
}

TEST(DriverTest, ListsTheConfiguredDevicesAndOpensOnlyThePod) {
  EmulatorConfig config;
  config.devices = {"Brontaflex POD ", "FT232R USB UART", "Brontaflex POD"};
  config.serialNumbers = {"A900XYZ"};
  config.podIndex = 2;
  FakeClock clock;
  EmulatorDriver driver(clock, config);
  EXPECT_EQ(Listed(driver), config.devices);
  EXPECT_EQ(driver.ListPorts()[0].serialNumber, "A900XYZ");
  EXPECT_EQ(driver.ListPorts()[2].serialNumber, "FT2");

  std::unique_ptr<Port> port;
  EXPECT_EQ(driver.Open(Described("FT232R USB UART"), port), kPortNotOpened);
  EXPECT_EQ(driver.Open(Described("brontaflex pod"), port), kPortNotFound);
  EXPECT_EQ(driver.Open({PortKey::By::SerialNumber, "A900XYZ"}, port), kPortNotOpened);
  EXPECT_EQ(port, nullptr);
  ASSERT_EQ(driver.Open({PortKey::By::SerialNumber, "FT2"}, port), kPortOk);
  EXPECT_TRUE(driver.IsOpen());
  std::unique_ptr<Port> second;
  EXPECT_EQ(driver.Open(Described("Brontaflex POD"), second), kPortNotOpened);
  EXPECT_EQ(second, nullptr);
  port.reset();
  EXPECT_FALSE(driver.IsOpen());
  ASSERT_EQ(driver.Open(Described("Brontaflex POD"), second), kPortOk);

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
  std::unique_ptr<Port> port;
  EXPECT_EQ(driver.Open(Described("Brontaflex POD"), port), kPortNotFound);
}

// A port from before the cable was pulled fails, and closing it late leaves
// the port opened since alone.
TEST(DriverTest, APortOfTheOldBridgeNeitherWorksNorClosesTheNewOne) {
  WireHarness wire;
  wire.Open();
  std::unique_ptr<Port> old = std::move(wire.port);
  uint8_t latency = 0;
  wire.driver.Unplug();
  EXPECT_EQ(old->GetLatency(latency), kPortIoError);
  wire.driver.Replug();
  EXPECT_EQ(old->GetLatency(latency), kPortInvalidHandle);

  wire.Open();
  EXPECT_EQ(old->GetLatency(latency), kPortInvalidHandle);
  old.reset();
  EXPECT_TRUE(wire.driver.IsOpen());
  EXPECT_EQ(wire.Exchange(Frame('I')), "!");
}

TEST(DriverTest, ThePodHearsNoiseUntilTheLineIsSetUp) {
  WireHarness wire;
  ASSERT_EQ(wire.driver.Open(kPodKey, wire.port), kPortOk);
  EXPECT_EQ(wire.Exchange(Frame('I')), "");
  PortSettings line = kPodLine;
  line.stopBits = 2;
  ASSERT_EQ(wire.port->Configure(line), kPortOk);
  EXPECT_EQ(wire.Exchange(Frame('I')), "");
  ASSERT_EQ(wire.port->Configure(kPodLine), kPortOk);
  EXPECT_EQ(wire.Exchange(Frame('I')), "!");

  const auto& transcript = wire.driver.Transcript();
  ASSERT_EQ(transcript.size(), 3u);
  EXPECT_EQ(transcript[0].kind, TranscriptEntry::Kind::Junk);
  EXPECT_FALSE(transcript[0].note.empty());
  EXPECT_EQ(wire.driver.Line().baud, 921600u);
  EXPECT_EQ(wire.driver.Line().readTimeoutMs, 200u);
}

// A line the bridge cannot run is refused whole: the one set up before stays.
TEST(DriverTest, ConfigureRefusesALineTheBridgeCannotRun) {
  struct Case {
    const char* name;
    void (*spoil)(PortSettings&);
  };
  const Case cases[] = {
      {"no baud rate", [](PortSettings& line) { line.baud = 0; }},
      {"9 data bits", [](PortSettings& line) { line.dataBits = 9; }},
      {"no stop bit", [](PortSettings& line) { line.stopBits = 0; }},
      {"3 stop bits", [](PortSettings& line) { line.stopBits = 3; }},
      {"no such parity", [](PortSettings& line) { line.parity = Parity{5}; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WireHarness wire;
    wire.Open();
    PortSettings line = kPodLine;
    line.readTimeoutMs = 50;
    c.spoil(line);
    EXPECT_EQ(wire.port->Configure(line), kPortInvalidParameter);
    EXPECT_EQ(wire.driver.Line().readTimeoutMs, 200u);
    EXPECT_EQ(wire.Exchange(Frame('I')), "!");
  }
}

TEST(DriverTest, LatencyTimerStartsAtTheBridgeDefaultAndCountsWrites) {
  EmulatorConfig config;
  config.initialLatencyMs = 1;
  WireHarness wire(config);
  wire.Open();
  uint8_t latency = 0;
  ASSERT_EQ(wire.port->GetLatency(latency), kPortOk);
  EXPECT_EQ(latency, 1);
  EXPECT_EQ(wire.driver.Line().latencyWrites, 0u);
  ASSERT_EQ(wire.port->SetLatency(4), kPortOk);
  EXPECT_EQ(wire.port->SetLatency(0), kPortInvalidParameter);
  ASSERT_EQ(wire.port->GetLatency(latency), kPortOk);
  EXPECT_EQ(latency, 4);
  EXPECT_EQ(wire.driver.Line().latencyWrites, 1u);
  // The timer is the bridge's: a new open keeps it.
  wire.port.reset();
  wire.Open();
  ASSERT_EQ(wire.port->GetLatency(latency), kPortOk);
  EXPECT_EQ(latency, 4);
}

TEST(DriverTest, ReadWaitsOnTheClockUpToTheTimeOutAndLeavesTheRestQueued) {
  WireHarness wire;
  wire.Open();
  char byte = 0;
  uint32_t returned = 7;
  const uint32_t start = wire.clock.NowMs();
  ASSERT_EQ(wire.port->Read(&byte, 1, returned), kPortOk);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(wire.clock.NowMs() - start, 200u);

  wire.Send(Frame('?'));
  ASSERT_EQ(wire.port->Read(&byte, 1, returned), kPortOk);
  EXPECT_EQ(returned, 1u);
  EXPECT_EQ(byte, '!');
  EXPECT_EQ(wire.clock.NowMs() - start, 200u);  // it was there: no wait
  uint32_t waiting = 0;
  ASSERT_EQ(wire.port->BytesWaiting(waiting), kPortOk);
  EXPECT_EQ(waiting, 5u);

  // Asking for more than will come returns what came, after the time-out.
  char rest[8] = {};
  ASSERT_EQ(wire.port->Read(rest, sizeof rest, returned), kPortOk);
  EXPECT_EQ(std::string(rest, returned), "QZV11");
  EXPECT_EQ(wire.clock.NowMs() - start, 400u);
}

TEST(DriverTest, PurgeAndResetDropWhatArrivedAndClosingDropsEverything) {
  WireHarness wire;
  wire.Open();
  wire.Send(Frame('?'));
  ASSERT_EQ(wire.port->Purge(kPurgeReceived), kPortOk);
  EXPECT_EQ(wire.Received(), "");
  // The reset a line set-up begins with empties the queues as well.
  wire.Send(Frame('?'));
  ASSERT_EQ(wire.port->Configure(kPodLine), kPortOk);
  EXPECT_EQ(wire.Received(), "");

  wire.Send(Frame('I'));
  wire.port.reset();
  wire.Open();
  EXPECT_EQ(wire.Received(), "");
  uint32_t waiting = 1, unsent = 1;
  ASSERT_EQ(wire.port->BytesWaiting(waiting), kPortOk);
  ASSERT_EQ(wire.port->BytesUnsent(unsent), kPortOk);
  EXPECT_EQ(waiting + unsent, 0u);
}

}  // namespace
