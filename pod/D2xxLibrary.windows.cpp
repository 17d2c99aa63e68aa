#include "pod/D2xxLibrary.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

#include "image/Utf8Path.h"

const char* const kD2xxLibraryFile = "ftd2xx.dll";

namespace {

// The folder Windows keeps its own libraries in, where FTDI's driver installer
// puts ftd2xx.dll.
std::string SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Utf8FromPath(std::filesystem::path(folder))
                                         : "the system folder";
}

}  // namespace

void* OpenLibrary(const std::string& file, std::string& problem) {
  // Never LoadLibrary's usual search: it tries the program's folder and the
  // current folder before System32, and the zip is unpacked anywhere
  // (Downloads, most often), where anyone may leave an ftd2xx.dll.
  const bool bareName = file.find_first_of("/\\:") == std::string::npos;
  const DWORD where = bareName ? LOAD_LIBRARY_SEARCH_SYSTEM32
                               : LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR wants a full path (with its drive) in the
  // system's own form.
  std::error_code unresolved;
  std::filesystem::path path = PathFromUtf8(file);
  if (!bareName) {
    path = std::filesystem::absolute(path, unresolved);
  }
  HMODULE library = LoadLibraryExW(path.make_preferred().c_str(), nullptr, where);
  if (library == nullptr) {
    const DWORD error = GetLastError();
    problem = bareName ? file + " is not in " + SystemFolder() +
                             ", where FTDI's D2XX driver installer puts it (error " +
                             std::to_string(error) + ")"
                       : file + " did not load (error " + std::to_string(error) + ")";
  }
  return reinterpret_cast<void*>(library);
}

LibraryFunction FindFunction(void* library, const char* name) {
  // FARPROC claims a signature of its own; the caller casts to the real one.
  return reinterpret_cast<LibraryFunction>(
      GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

std::string LibraryFileOf(const void* function) {
  HMODULE module = nullptr;
  wchar_t file[MAX_PATH] = {};
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(function), &module) &&
      GetModuleFileNameW(module, file, MAX_PATH) > 0) {
    return Utf8FromPath(std::filesystem::path(file));
  }
  return {};
}
