#include "emulator/StateFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
