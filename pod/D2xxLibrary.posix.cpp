#include "pod/D2xxLibrary.h"

#include <dlfcn.h>

const char* const kD2xxLibraryFile = "libftd2xx.so";

void* OpenLibrary(const std::string& file, std::string& problem) {
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* error = dlerror();
    problem = error != nullptr ? error : file + " did not load";
    if (file.find('/') == std::string::npos) {
      problem +=
          " (looked for in LD_LIBRARY_PATH, the ld.so cache and /lib, /usr/lib; FTDI's "
          "archive installs it in /usr/local/lib, then run ldconfig)";
    }
  }
  return library;
}

LibraryFunction FindFunction(void* library, const char* name) {
  return reinterpret_cast<LibraryFunction>(dlsym(library, name));
}

std::string LibraryFileOf(const void* function) {
  Dl_info info{};
  if (dladdr(function, &info) != 0 && info.dli_fname != nullptr) {
    return info.dli_fname;
  }
  return {};
}
