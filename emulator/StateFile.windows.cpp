#include "emulator/StateFile.h"

#include <windows.h>

#include <cstdlib>

#include "image/Utf8Path.h"

namespace {

// The lock covers one byte past the process number, so that a refused process
// can still read who holds it.
constexpr DWORD kLockedByte = 64;

}  // namespace

bool StateLock::TryLock(std::string& why) {
  if (Held()) {
    return true;
  }
  const std::string lockPath = path_ + ".lock";
  const HANDLE file = CreateFileW(PathFromUtf8(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD openError = GetLastError();
    if (openError == ERROR_PATH_NOT_FOUND) {
      return true;  // no folder for the state: the POD refuses its writes, readers need no lock
    }
    why = "the lock file " + lockPath + " cannot be opened: Windows error " +
          std::to_string(openError);
    return false;
  }
  OVERLAPPED at{};
  at.Offset = kLockedByte;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD lockError = GetLastError();
    char holder[32] = {};
    DWORD n = 0;
    const bool read = ReadFile(file, holder, sizeof holder - 1, &n, nullptr);
    CloseHandle(file);
    if (lockError != ERROR_LOCK_VIOLATION) {
      why = path_ + " cannot be locked: Windows error " + std::to_string(lockError);
    } else if (read && n > 0 && std::atol(holder) > 0) {
      why = path_ + " is in use by process " + std::to_string(std::atol(holder));
    } else {
      why = path_ + " is in use by another process";
    }
    return false;
  }
  // Tells a refused process who holds the POD; the lock holds without it.
  const std::string pid = std::to_string(GetCurrentProcessId()) + "\n";
  DWORD written = 0;
  [[maybe_unused]] const bool noted =
      SetEndOfFile(file) &&
      WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

void StateLock::Unlock() {
  if (Held()) {
    // Closing the only handle drops the lock; so does the end of the process.
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
  }
}
