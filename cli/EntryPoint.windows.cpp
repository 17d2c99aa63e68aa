#include <windows.h>

#include <string>
#include <vector>

#include "cli/Program.h"
#include "image/Utf8Path.h"

// main() would get its arguments in the ANSI code page, which loses Korean file
// names; the wide ones become the UTF-8 that the commands take, and the console
// shows UTF-8 while the program runs.
int wmain(int argc, wchar_t* argv[]) {
  // Every library loaded from now on by name comes from System32, never from
  // the program's folder or the current one, where anyone may leave a DLL.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  std::vector<std::string> utf8;
  for (int n = 1; n < argc; ++n) {
    utf8.push_back(Utf8FromPath(argv[n]));
  }
  const UINT consolePage = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  const int status = RunProgram({utf8.begin(), utf8.end()});
  SetConsoleOutputCP(consolePage);
  return status;
}
