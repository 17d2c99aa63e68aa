#include "cli/KeyFileAccess.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

int OpenKeyFile(const std::filesystem::path& path) {
  return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

FileKind KeyFileKindOf(int fd) {
  struct _stat64 status {};
  if (_fstat64(fd, &status) != 0) {
    return {};
  }
  // Windows keeps who may read a file in its access list; the mode bits it
  // shows are made up from the read-only flag alone.
  return {(status.st_mode & _S_IFMT) == _S_IFREG, 0, status.st_size};
}

long long ReadKeyFile(int fd, char* bytes, size_t count) {
  return _read(fd, bytes, static_cast<unsigned>(count));
}

void CloseKeyFile(int fd) {
  _close(fd);
}
