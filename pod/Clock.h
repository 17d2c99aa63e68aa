// Millisecond tick counter and sleep behind one interface, so that every
// time-out of the link can be driven by a fake clock in tests.
#pragma once

#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  // A free-running millisecond counter; it wraps at 2^32 like the platform's.
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(uint32_t milliseconds) = 0;
};

// The process's monotonic clock and a real sleep.
class SystemClock final : public Clock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t milliseconds) override;
};

// True when tick `now` has reached `deadline`, across a wrap of the counter.
inline bool TickReached(uint32_t now, uint32_t deadline) {
  return static_cast<int32_t>(now - deadline) >= 0;
}
