#include "tests/support/FakeClock.h"

void FakeClock::SleepMs(uint32_t milliseconds) {
  now_ += milliseconds;
  sleptMs_ += milliseconds;
}
