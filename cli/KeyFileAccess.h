// Reading a CSM key file the way each system allows: who may read it is in
// the mode bits on POSIX systems and in an access list on Windows. The build
// picks KeyFileAccess.posix.cpp or KeyFileAccess.windows.cpp.
#pragma once

#include <cstddef>
#include <filesystem>

// What a key file is, before it is read.
struct FileKind {
  bool regular = false;
  unsigned mode = 0;  // its permission bits; 0 where the system keeps none
  long long size = 0;
};

// A descriptor for reading `path`, or -1 (errno says why). A FIFO is never
// waited on.
int OpenKeyFile(const std::filesystem::path& path);
FileKind KeyFileKindOf(int fd);
long long ReadKeyFile(int fd, char* bytes, size_t count);
void CloseKeyFile(int fd);
