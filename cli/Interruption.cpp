#include "cli/Interruption.h"

#include <csignal>
#include <cstdlib>

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void OnInterrupt(int signal) {
  // The user asked twice: no more waiting for the operation.
  if (gSignal != 0) {
    std::_Exit(128 + signal);
  }
  gSignal = signal;
}

}  // namespace

void CatchInterruptions() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

int InterruptingSignal() {
  return gSignal;
}
