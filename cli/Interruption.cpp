#include "cli/Interruption.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

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

#ifdef _WIN32
// The C runtime's signal() would put the default back after the first Ctrl-C,
// and the second would end the program with its own status; the console's
// handler stays. Ctrl-Break is the console's other way to stop a program, the
// counterpart of SIGTERM.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      Interrupted(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      Interrupted(SIGTERM);
      return TRUE;
    default:
      return FALSE;  // closing the console or the session ends the program
  }
}
#else
extern "C" void OnSignal(int signal) {
  Interrupted(signal);
}
#endif

}  // namespace

void CatchInterruptions() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
#endif
}

int InterruptingSignal() {
  return gSignal;
}
