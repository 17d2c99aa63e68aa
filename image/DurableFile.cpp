#include "image/DurableFile.h"

#ifdef _WIN32
#include <windows.h>
// windows.h names its own ReplaceFileA/W so; ours is the one declared above.
#undef ReplaceFile

#include <random>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

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

#ifdef _WIN32

namespace {

std::string WindowsError(const char* what) {
  return std::string(what) + ": Windows error " + std::to_string(GetLastError());
}

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

FileLock::FileLock(const std::string& path) {
  const std::string lockPath = path + ".lock";
  const HANDLE file = CreateFileW(PathFromUtf8(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = WindowsError(("cannot open the lock file " + lockPath).c_str());
    return;
  }
  OVERLAPPED at{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
    error_ = WindowsError(("cannot lock " + lockPath).c_str());
    CloseHandle(file);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

FileLock::~FileLock() {
  if (held()) {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}

AppendedFile::AppendedFile(const std::string& path) {
  // Appending only: every write lands at the end, whoever else appends.
  const HANDLE file = CreateFileW(PathFromUtf8(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = WindowsError("cannot open it");
    return;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    error_ = "it is not a regular file";
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

AppendedFile::~AppendedFile() {
  if (open()) {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}

std::string AppendedFile::Append(std::string_view line) {
  const auto file = reinterpret_cast<HANDLE>(handle_);
  DWORD written = 0;
  if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size()) {
    return WindowsError("cannot write it");
  }
  return FlushFileBuffers(file) ? std::string() : WindowsError("cannot sync it");
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

FileLock::FileLock(const std::string& path) {
  const std::string lockPath = path + ".lock";
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = SystemError(("cannot open the lock file " + lockPath).c_str());
    return;
  }
  int locked = 0;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    error_ = SystemError(("cannot lock " + lockPath).c_str());
    ::close(fd);
    return;
  }
  handle_ = fd;
}

FileLock::~FileLock() {
  if (held()) {
    // Closing the only descriptor drops the lock.
    ::close(static_cast<int>(handle_));
  }
}

AppendedFile::AppendedFile(const std::string& path) {
  // Non-blocking, so that a FIFO without a reader fails at once; a device or
  // a FIFO is refused below before anything is written.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    error_ = SystemError("cannot open it");
    return;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    error_ = "it is not a regular file";
    return;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  handle_ = fd;
}

AppendedFile::~AppendedFile() {
  if (open()) {
    ::close(static_cast<int>(handle_));
  }
}

std::string AppendedFile::Append(std::string_view line) {
  const int fd = static_cast<int>(handle_);
  // One write: with O_APPEND the system puts it at the end whole, so lines
  // that other processes append at the same time never cut into it.
  ssize_t written = 0;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written != static_cast<ssize_t>(line.size())) {
    return written < 0 ? SystemError("cannot write it") : "cannot write it: the disk is full";
  }
  return ::fsync(fd) == 0 ? std::string() : SystemError("cannot sync it");
}

#endif
