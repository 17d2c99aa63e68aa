#include "cli/ConsoleSignals.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<void (*)(int)> gHandler = nullptr;

extern "C" void OnSignal(int signal) {
  gHandler.load()(signal);
}

}  // namespace

void OnConsoleSignals(void (*handler)(int signal)) {
  gHandler = handler;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
}
