#include "cli/Interruption.h"

#include <atomic>
#include <cstdlib>

#include "cli/ConsoleSignals.h"

namespace {

// Windows calls its console handler on a thread of its own, and every POD's
// thread of a run on several reads it.
std::atomic<int> gSignal = 0;
static_assert(std::atomic<int>::is_always_lock_free, "read and set from a signal handler");

void Interrupted(int signal) {
  // The user asked twice: no more waiting for the operation.
  if (gSignal.exchange(signal) != 0) {
    std::_Exit(128 + signal);
  }
}

}  // namespace

void CatchInterruptions() {
  OnConsoleSignals(Interrupted);
}

int InterruptingSignal() {
  return gSignal;
}
