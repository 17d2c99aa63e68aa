// The wire-time model: bytes take their time on a 921600-baud line, the bridge
// holds replies for its latency timer, and the POD's work takes its time, all
// measured on the clock.
#include <gtest/gtest.h>

#include "tests/emulator/WireHarness.h"

namespace {

EmulatorConfig Timed(uint8_t latencyMs = 1) {
  EmulatorConfig config;
  config.timing.enabled = true;
  config.initialLatencyMs = latencyMs;
  return config;
}

// Reads `count` bytes, waiting through as many read time-outs as it takes.
std::string Await(WireHarness& wire, uint32_t count) {
  std::string bytes(count, '\0');
  uint32_t got = 0;
  for (int attempt = 0; attempt < 1000 && got < count; ++attempt) {
    uint32_t returned = 0;
    EXPECT_EQ(wire.driver.Read(wire.handle, bytes.data() + got, count - got, returned), kFtOk);
    got += returned;
  }
  bytes.resize(got);
  return bytes;
}

TEST(WireTimeTest, ReplyArrivesAfterTheLineAndTheLatencyTimer) {
  for (const uint8_t latency : {1, 16}) {
    SCOPED_TRACE(int{latency});
    WireHarness wire(Timed(latency));
    wire.Open();
    const uint32_t start = wire.clock.NowMs();
    wire.Send(Frame('I'));
    uint32_t rx = 0, tx = 0, events = 0;
    ASSERT_EQ(wire.driver.GetStatus(wire.handle, rx, tx, events), kFtOk);
    EXPECT_EQ(tx, 3u);  // still on the wire
    ASSERT_EQ(wire.driver.GetStatus(wire.handle, rx, tx, events), kFtOk);
    EXPECT_EQ(tx, 0u);
    EXPECT_EQ(rx, 0u);  // answered, but the bridge holds the reply back
    EXPECT_EQ(Await(wire, 1), "!");
    // 3 bytes out, the POD's handling and 1 byte back take well under 1 ms.
    EXPECT_EQ(wire.clock.NowMs() - start, latency + 1u);
  }
}

TEST(WireTimeTest, LongWriteDrainsAtTheLineRate) {
  WireHarness wire(Timed());
  wire.Open();
  std::vector<uint16_t> words(50, 0x1234);  // 350 bytes of S frames
  const uint32_t start = wire.clock.NowMs();
  wire.StreamWords(words);
  uint32_t rx = 0, tx = 0, events = 0;
  ASSERT_EQ(wire.driver.GetStatus(wire.handle, rx, tx, events), kFtOk);
  EXPECT_EQ(tx, 350u);
  while (tx > 0 && wire.clock.NowMs() - start < 100) {
    ASSERT_EQ(wire.driver.GetStatus(wire.handle, rx, tx, events), kFtOk);
  }
  EXPECT_EQ(tx, 0u);
  // 350 bytes of 10 bits at 921600 baud: 3.8 ms.
  EXPECT_EQ(wire.clock.NowMs() - start, 4u);
}

TEST(WireTimeTest, EraseTakesItsTimePerSector) {
  WireHarness wire(Timed());
  wire.Open();
  for (const std::string& frame :
       {Frame('N', "4"), Frame('K', "0" + KeyDigits(kErasedCsmKeys)), Frame('O', "00")}) {
    wire.Send(frame);
    ASSERT_EQ(Await(wire, 1), "!");
  }
  const uint32_t start = wire.clock.NowMs();
  wire.Send(Frame('O', "010003"));
  EXPECT_EQ(Await(wire, 1), "!");
  const uint32_t elapsed = wire.clock.NowMs() - start;
  EXPECT_GE(elapsed, 2 * WireTiming{}.sectorEraseUs / 1000);
  EXPECT_LE(elapsed, 2 * WireTiming{}.sectorEraseUs / 1000 + 2);
}

}  // namespace
