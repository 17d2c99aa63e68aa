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
    EXPECT_EQ(wire.port->Read(bytes.data() + got, count - got, returned), kPortOk);
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
    uint32_t waiting = 1, unsent = 1;
    ASSERT_EQ(wire.port->BytesUnsent(unsent), kPortOk);
    EXPECT_EQ(unsent, 0u);
    ASSERT_EQ(wire.port->BytesWaiting(waiting), kPortOk);
    EXPECT_EQ(waiting, 0u);  // answered, but the bridge holds the reply back
    EXPECT_EQ(Await(wire, 1), "!");
    // 3 bytes out, the POD's handling and 1 byte back take well under 1 ms.
    EXPECT_EQ(wire.clock.NowMs() - start, latency);
  }
}

// A write returns once its bytes have left, the transmit queue empty and the
// clock on by their line time (10 bits a byte at 921600 baud: 10.85 us).
TEST(WireTimeTest, WriteReturnsOnceItsBytesHaveLeft) {
  struct Case {
    const char* name;
    uint32_t writes;
    uint32_t wordsPerWrite;  // 7 bytes each
    uint32_t elapsedMs;
  };
  for (const Case& c : {
           // 350 bytes: 3.80 ms, the clock showing the whole milliseconds.
           Case{"one long write", 1, 50, 3},
           // 7.60 ms: what the first write's fraction carried is not lost.
           Case{"two long writes", 2, 50, 7},
           // 76 us each: short writes cost their own time, not a poll's millisecond.
           Case{"a hundred short writes", 100, 1, 7},
       }) {
    SCOPED_TRACE(c.name);
    WireHarness wire(Timed());
    wire.Open();
    const uint32_t start = wire.clock.NowMs();
    for (uint32_t n = 0; n < c.writes; ++n) {
      wire.StreamWords(std::vector<uint16_t>(c.wordsPerWrite, 0x1234));
      uint32_t unsent = 1;
      ASSERT_EQ(wire.port->BytesUnsent(unsent), kPortOk);
      EXPECT_EQ(unsent, 0u);
    }
    EXPECT_EQ(wire.clock.NowMs() - start, c.elapsedMs);
  }
}

TEST(WireTimeTest, WriteTimeOutSendsOnlyWhatLeftInTime) {
  WireHarness wire(Timed());
  wire.Open();
  PortSettings line = kPodLine;
  line.writeTimeoutMs = 1;
  ASSERT_EQ(wire.port->Configure(line), kPortOk);
  const uint32_t start = wire.clock.NowMs();
  const std::string bytes(200, 'A');  // 2.17 ms of line
  uint32_t written = 0;
  ASSERT_EQ(wire.port->Write(bytes.data(), 200, written), kPortOk);
  EXPECT_EQ(written, 92u);  // the bytes that fit into 1 ms
  EXPECT_EQ(wire.clock.NowMs() - start, 1u);
  // What was cut off never goes out: the next frame follows the 92 bytes at
  // once and is answered after the latency timer (it would be 3 ms otherwise).
  wire.Send(Frame('I'));
  EXPECT_EQ(Await(wire, 1), "!");
  EXPECT_EQ(wire.clock.NowMs() - start, 2u);
  ASSERT_EQ(wire.driver.Transcript().size(), 2u);
  EXPECT_EQ(wire.driver.Transcript()[0].frame, std::string(92, 'A'));
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
