// brontaflex.exe: one window at a time on the machine, its settings in the
// registry under the company's key and the program's own name.
#include <windows.h>

#include <commctrl.h>

#include <filesystem>

#include "win32/RegistrySettingsStore.h"
#include "win32/WideText.h"
#include "win32/Win32ProgrammerDlg.h"

namespace {

// The program's file name without its extension: "brontaflex".
std::string ProgramName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return Utf8(std::filesystem::path(path).stem().wstring());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Libraries come from the system's folder only, never from the program's
  // or the current folder, where anyone may have dropped one.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // A second start ends at once and silently; the system frees the mutex
  // when this process ends, however it ends.
  CreateMutexW(nullptr, TRUE, L"Brontaflex");
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    return 0;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  RegistrySettingsStore store("Veskora", ProgramName());
  Win32ProgrammerDlg dlg(instance, store);
  dlg.RunModal();
  return 0;
}
