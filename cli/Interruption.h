// Ctrl-C and SIGTERM (Ctrl-Break on Windows) while a POD command runs: the
// first asks the operation to stop at the next frame, so it can tell the POD
// and close the port; a second ends the program at once.
#pragma once

// Installs the handlers: for SIGINT and SIGTERM, or the console's on Windows.
void CatchInterruptions();
// The signal that asked to stop (SIGINT for Ctrl-C, SIGTERM for Ctrl-Break);
// 0 while none did.
int InterruptingSignal();
