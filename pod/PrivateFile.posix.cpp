#include "pod/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenPrivateFile(const std::filesystem::path& path, bool replace) {
  // Non-blocking, so that a FIFO without a reader fails at once instead of
  // waiting for one; the file's own writes block again.
  const int flags =
      O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (replace ? 0 : O_EXCL);
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd >= 0) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  return fd;
}

bool IsRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

bool EmptyFile(int fd) {
  return ::ftruncate(fd, 0) == 0;
}

long long WriteSome(int fd, const char* bytes, size_t count) {
  return ::write(fd, bytes, count);
}

void CloseFile(int fd) {
  ::close(fd);
}
