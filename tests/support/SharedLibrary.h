// A shared library that a test loads by path and looks functions up in, the
// way the d2xx backend loads the vendor's: dlopen, or LoadLibrary on Windows.
#pragma once

#include <string>

class SharedLibrary {
 public:
  explicit SharedLibrary(const std::string& path);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Why loading failed, for the test's message.
  const std::string& error() const { return error_; }

  // Null when the library does not export `name`.
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(Address(name));
  }
  bool Exports(const char* name) const { return Address(name) != nullptr; }

 private:
  using Generic = void (*)();
  Generic Address(const char* name) const;

  void* handle_ = nullptr;
  std::string error_;
};
