#include "image/DurableFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "image/Utf8Path.h"

namespace fs = std::filesystem;

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
