#include "tests/support/SharedLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "image/Utf8Path.h"

#ifdef _WIN32

SharedLibrary::SharedLibrary(const std::string& path)
    : handle_(LoadLibraryW(PathFromUtf8(path).c_str())) {
  if (handle_ == nullptr) {
    error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
  }
}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) {
    FreeLibrary(static_cast<HMODULE>(handle_));
  }
}

SharedLibrary::Generic SharedLibrary::Address(const char* name) const {
  return reinterpret_cast<Generic>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

#else

SharedLibrary::SharedLibrary(const std::string& path)
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    error_ = dlerror();
  }
}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) {
    dlclose(handle_);
  }
}

SharedLibrary::Generic SharedLibrary::Address(const char* name) const {
  return reinterpret_cast<Generic>(dlsym(handle_, name));
}

#endif
