#include "cli/KeyFileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenKeyFile(const std::filesystem::path& path) {
  // Non-blocking, so that a FIFO without a writer is refused at once rather
  // than waited on.
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

FileKind KeyFileKindOf(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return {};
  }
  return {S_ISREG(status.st_mode), status.st_mode & 07777u, status.st_size};
}

long long ReadKeyFile(int fd, char* bytes, size_t count) {
  return ::read(fd, bytes, count);
}

void CloseKeyFile(int fd) {
  ::close(fd);
}
