#include "cli/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace {

// Set when the terminal changed its size since the line was last drawn.
std::atomic<bool> gResized = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnResize(int) {
  gResized = true;
}

}  // namespace

bool IsTerminal(int fd) {
  return isatty(fd) != 0;
}

int TerminalColumns(int fd) {
  winsize size{};
  return ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void WatchTerminalSize() {
  std::signal(SIGWINCH, OnResize);
}

bool TerminalResized() {
  return gResized.exchange(false);
}
