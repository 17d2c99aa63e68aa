#include <algorithm>
#include <csignal>

#include "cli/Program.h"

int main(int argc, char* argv[]) {
  // A reader that went away (`| head -1`) is an output error like any other,
  // not a reason to leave the POD in the middle of an operation.
  std::signal(SIGPIPE, SIG_IGN);
  return RunProgram({argv + std::min(argc, 1), argv + argc});
}
