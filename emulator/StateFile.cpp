#include "emulator/StateFile.h"

#ifdef _WIN32
#include <windows.h>
// windows.h names its own ReplaceFileA/W so; ours is the one declared in StateFile.h.
#undef ReplaceFile

#include <random>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

#include <cstdlib>
#include <filesystem>

#include "image/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

// Six random characters follow; RemoveStaleTemporaries knows them by the rest.
constexpr std::string_view kTemporaryInfix = ".tmp.";
constexpr size_t kTemporarySuffixLength = 6;

}  // namespace

void RemoveStaleTemporaries(const std::string& path) {
  const fs::path file = PathFromUtf8(path);
  const std::string prefix = Utf8FromPath(file.filename()) + std::string(kTemporaryInfix);
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = Utf8FromPath(it->path().filename());
    if (name.size() == prefix.size() + kTemporarySuffixLength && name.starts_with(prefix)) {
      fs::remove(it->path(), error);
    }
  }
}

StateLock::StateLock(std::string path) : path_(std::move(path)) {}

StateLock::~StateLock() {
  Unlock();
}

#ifdef _WIN32

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

#else

namespace {

std::string SystemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Makes a rename in `folder` survive a power cut.
bool SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

std::string ReplaceFile(const std::string& path, std::string_view text) {
  std::string temporary = path + std::string(kTemporaryInfix) + "XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    return SystemError("cannot create a temporary file beside it");
  }
  std::string error;
  if (!WriteAll(fd, text)) {
    error = SystemError("cannot write it");
  } else if (::fsync(fd) != 0) {
    error = SystemError("cannot sync it");
  }
  if (::close(fd) != 0 && error.empty()) {
    error = SystemError("cannot write it");
  }
  if (error.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = SystemError("cannot put it in place");
  }
  if (!error.empty()) {
    ::unlink(temporary.c_str());
    return error;
  }
  if (!SyncFolder(fs::path(path).parent_path())) {
    return SystemError("cannot sync its folder");
  }
  return {};
}

bool StateLock::TryLock(std::string& why) {
  if (Held()) {
    return true;
  }
  const std::string lockPath = path_ + ".lock";
  // Never through a link someone planted: the file gets our process number.
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 && errno == ENOENT) {
    return true;  // no folder for the state: the POD refuses its writes, readers need no lock
  }
  if (fd < 0) {
    why = "the lock file " + lockPath + " cannot be opened: " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int lockError = errno;
    char holder[32] = {};
    const ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
    ::close(fd);
    if (lockError != EWOULDBLOCK) {
      why = path_ + " cannot be locked: " + std::strerror(lockError);
    } else if (n > 0 && std::atol(holder) > 0) {
      why = path_ + " is in use by process " + std::to_string(std::atol(holder));
    } else {
      why = path_ + " is in use by another process";
    }
    return false;
  }
  // Tells a refused process who holds the POD; the lock holds without it.
  const std::string pid = std::to_string(::getpid()) + "\n";
  [[maybe_unused]] const bool noted =
      ::ftruncate(fd, 0) == 0 &&
      ::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
  handle_ = fd;
  return true;
}

void StateLock::Unlock() {
  if (Held()) {
    // Closing the only descriptor drops the lock.
    ::close(static_cast<int>(handle_));
    handle_ = -1;
  }
}

#endif
