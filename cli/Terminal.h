// The terminal the command line draws its progress on, as this system tells
// of it: isatty and ioctl, or the Windows console. The build picks the file.
#pragma once

// Whether standard output (1) or error (2) is a terminal that redraws the
// progress line through its escape sequences.
bool IsTerminal(int fd);
// The width of the terminal on standard output (1) or error (2); 0 when it
// does not say.
int TerminalColumns(int fd);
// From now on a change of the terminal's size is noted (SIGWINCH). A Windows
// console sends no word: its width is asked at each drawing.
void WatchTerminalSize();
// True once after each change of size noted since the last call.
bool TerminalResized();
