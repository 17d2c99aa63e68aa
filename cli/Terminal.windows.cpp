#include "cli/Terminal.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE ConsoleOf(int fd) {
  return GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

}  // namespace

bool IsTerminal(int fd) {
  // A Windows console shows the sequences as text until asked to follow them;
  // one too old to be asked gets the lines a file would.
  if (!_isatty(fd)) {
    return false;
  }
  const HANDLE console = ConsoleOf(fd);
  DWORD mode = 0;
  return GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int TerminalColumns(int fd) {
  CONSOLE_SCREEN_BUFFER_INFO console{};
  if (!GetConsoleScreenBufferInfo(ConsoleOf(fd), &console)) {
    return 0;
  }
  return console.srWindow.Right - console.srWindow.Left + 1;
}

void WatchTerminalSize() {}

bool TerminalResized() {
  return false;
}
