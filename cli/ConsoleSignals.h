// Ctrl-C and its kin as this system sends them: SIGINT and SIGTERM, or the
// Windows console's Ctrl-C and Ctrl-Break (passed on as SIGINT and SIGTERM).
// The build picks the file.
#pragma once

// From now on `handler` gets the signal's number at each. It runs as a signal
// handler (on Windows on a thread of the console's own), so it may only set
// a lock-free atomic or end the process.
void OnConsoleSignals(void (*handler)(int signal));
