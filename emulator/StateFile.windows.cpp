#include "emulator/StateFile.h"

#include <windows.h>
// windows.h names its own ReplaceFileA/W so; ours is the one declared in StateFile.h.
#undef ReplaceFile

#include <cstdlib>
#include <random>

#include "image/Utf8Path.h"

namespace {

std::string WindowsError(const char* what) {
  return std::string(what) + ": Windows error " + std::to_string(GetLastError());
}

// The lock covers one byte past the process number, so that a refused process
// can still read who holds it.
constexpr DWORD kLockedByte = 64;

// Made exclusively and shared with nobody until it is closed.
HANDLE CreateTemporary(const std::string& path, std::wstring& temporary) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = path + std::string(kTemporaryInfix);
    for (size_t n = 0; n < kTemporarySuffixLength; ++n) {
      name += kLetters[random() % (sizeof kLetters - 1)];
    }
    temporary = PathFromUtf8(name).wstring();
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
      return file;
    }
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string ReplaceFile(const std::string& path, std::string_view text) {
  std::wstring temporary;
  const HANDLE file = CreateTemporary(path, temporary);
  if (file == INVALID_HANDLE_VALUE) {
    return WindowsError("cannot create a temporary file beside it");
  }
  std::string error;
  DWORD written = 0;
  if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    error = WindowsError("cannot write it");
  } else if (!FlushFileBuffers(file)) {
    error = WindowsError("cannot sync it");
  }
  CloseHandle(file);
  if (error.empty() && !MoveFileExW(temporary.c_str(), PathFromUtf8(path).c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = WindowsError("cannot put it in place");
  }
  if (!error.empty()) {
    DeleteFileW(temporary.c_str());
  }
  return error;
}

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
