// The input of the POD reply fuzzer: which operation runs, then one reply
// record for each write the program makes to the POD. The fuzzer mutates it;
// the seed writer spells the replies of an emulated POD in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The replies to one write, as the input spells them:
//   flags, [delay if kDelayed], [gap if kSpaced], length, `length` bytes.
// Once the input has ended, every later write is met with silence.
struct ReplyRecord {
  // The first byte arrives `delay` * kDelayUnitMs after the write.
  static constexpr uint8_t kDelayed = 0x01;
  // Each byte after the first arrives `gap` ms after the one before.
  static constexpr uint8_t kSpaced = 0x02;
  // The driver takes one byte fewer than it was given.
  static constexpr uint8_t kWriteCutShort = 0x04;
  // The write never leaves the transmit queue.
  static constexpr uint8_t kWriteStuck = 0x08;
  // Once the reply's bytes have been read, the port is gone.
  static constexpr uint8_t kPortGoneAfter = 0x10;
  static constexpr uint32_t kDelayUnitMs = 100;

  uint8_t flags = 0;
  uint8_t delay = 0;
  uint8_t gap = 0;
  std::string bytes;

  bool Has(uint8_t flag) const { return (flags & flag) != 0; }
  // The record spelled as the input spells it; at most 255 bytes of reply.
  void AppendTo(std::string& input) const;
};

// Reads the records of an input one after another.
class ReplyScript {
 public:
  explicit ReplyScript(std::span<const uint8_t> input) : input_(input) {}

  // The next byte; 0 once the input has ended.
  uint8_t TakeByte();
  // The next record; an empty one once the input has ended.
  ReplyRecord TakeRecord();

 private:
  std::span<const uint8_t> input_;
  size_t at_ = 0;
};
