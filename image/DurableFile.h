// Files that a crash, a kill or a second process never sees half-written: one
// replaced whole, one appended to a whole line at a time, and a lock that lets
// one process at a time read and replace a file. The only code here that
// differs between the systems is in DurableFile.posix.cpp and
// DurableFile.windows.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Replaces the file at `path` (UTF-8) with `text`: a temporary file of an
// unpredictable name is made exclusively (mode 0600) in the same folder,
// written, synced and renamed over `path`, then the folder is synced (on
// Windows the rename is written through instead). Empty on success, else why not.
std::string ReplaceFile(const std::string& path, std::string_view text);

// ReplaceFile's temporary is `path`, this infix and six random characters;
// RemoveStaleTemporaries knows them by the rest.
inline constexpr std::string_view kTemporaryInfix = ".tmp.";
inline constexpr size_t kTemporarySuffixLength = 6;

// Removes what a process killed inside ReplaceFile left beside `path`.
void RemoveStaleTemporaries(const std::string& path);

// An exclusive lock on "<path>.lock", waited for while another process holds
// it. The system drops it when the process ends, however it ends.
class FileLock {
 public:
  // Waits for the lock; `error()` says why when it could not be taken.
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return handle_ != -1; }
  const std::string& error() const { return error_; }

 private:
  // The open lock file: a descriptor, or a HANDLE on Windows; -1 while not held.
  std::intptr_t handle_ = -1;
  std::string error_;
};

// A file that lines are added to at its end, each in one write that is synced
// before Append returns, so that lines of several processes never mix and a
// line written survives a crash.
class AppendedFile {
 public:
  // Opens `path` (UTF-8) for appending, making it (mode 0644) when missing;
  // never a FIFO or a device. `error()` says why when it cannot.
  explicit AppendedFile(const std::string& path);
  ~AppendedFile();
  AppendedFile(const AppendedFile&) = delete;
  AppendedFile& operator=(const AppendedFile&) = delete;

  bool open() const { return handle_ != -1; }
  const std::string& error() const { return error_; }
  // Adds `line` whole; empty on success, else why not.
  std::string Append(std::string_view line);

 private:
  std::intptr_t handle_ = -1;
  std::string error_;
};
