// A file written through a descriptor, made for its owner alone and opened so
// that a name planted in a shared folder cannot turn it against another file.
// The system's calls differ; the build picks the file.
#pragma once

#include <cstddef>
#include <filesystem>

// Opens `path` for writing, made with owner-only permissions when new: never
// through a symbolic link, and without waiting on a FIFO that has no reader.
// An existing file is refused (EEXIST) unless `replace`. -1 with errno set
// when it cannot be opened.
int OpenPrivateFile(const std::filesystem::path& path, bool replace);
bool IsRegularFile(int fd);
// Drops what the file held before; for a replaced file once it is known to be
// a regular file.
bool EmptyFile(int fd);
// Writes up to `count` bytes; how many went, or -1 with errno set.
long long WriteSome(int fd, const char* bytes, size_t count);
void CloseFile(int fd);
