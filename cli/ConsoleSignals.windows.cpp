#include "cli/ConsoleSignals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace {

std::atomic<void (*)(int)> gHandler = nullptr;

// The C runtime's signal() would put the default back after the first Ctrl-C,
// and the second would end the program with its own status; the console's
// handler stays. Ctrl-Break is the console's other way to stop a program, the
// counterpart of SIGTERM.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      gHandler.load()(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      gHandler.load()(SIGTERM);
      return TRUE;
    default:
      return FALSE;  // closing the console or the session ends the program
  }
}

}  // namespace

void OnConsoleSignals(void (*handler)(int signal)) {
  gHandler = handler;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
