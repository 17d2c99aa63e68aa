// Ctrl-C and SIGTERM while a POD command runs: the first asks the operation to
// stop at the next frame, so it can tell the POD and close the port; a second
// ends the program at once.
#pragma once

// Installs the handlers for SIGINT and SIGTERM.
void CatchInterruptions();
// The signal that asked to stop; 0 while none did.
int InterruptingSignal();
