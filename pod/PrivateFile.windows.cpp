#include "pod/PrivateFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

int OpenPrivateFile(const std::filesystem::path& path, bool replace) {
  // Windows makes no links of the kind a user can plant, and opening a file
  // never waits on a reader.
  const int flags =
      _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | (replace ? _O_TRUNC : _O_EXCL);
  return _wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}

bool IsRegularFile(int fd) {
  struct _stat64 status {};
  return _fstat64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

bool EmptyFile(int) {
  // Opened with _O_TRUNC: nothing of the old file is left.
  return true;
}

long long WriteSome(int fd, const char* bytes, size_t count) {
  return _write(fd, bytes, static_cast<unsigned>(count));
}

void CloseFile(int fd) {
  _close(fd);
}
