// A millisecond clock that moves only when told to (or when the code under test
// sleeps), so time-outs are tested without waiting.
#pragma once

#include <cstdint>

#include "pod/Clock.h"

class FakeClock final : public Clock {
 public:
  explicit FakeClock(uint32_t start = 1000) : now_(start) {}

  uint32_t NowMs() override { return now_; }
  // Sleeping only moves the clock on.
  void SleepMs(uint32_t milliseconds) override;

  void Advance(uint32_t milliseconds) { now_ += milliseconds; }
  uint32_t sleptMs() const { return sleptMs_; }

 private:
  uint32_t now_;
  uint32_t sleptMs_ = 0;
};
