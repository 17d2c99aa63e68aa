// The emulated POD's state on disk: replaced whole and privately, so that a
// crash leaves the old or the new contents and nobody can read or redirect the
// CSM keys in it; and a lock beside it, so that two processes never drive one
// emulated POD at once.
#pragma once

#include <cstddef>
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

// An exclusive lock on "<path>.lock". The system drops it when the process
// ends, however it ends, so a crash never leaves the POD locked.
class StateLock {
 public:
  explicit StateLock(std::string path);
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

  // Takes the lock without waiting. False when another process holds it (`why`
  // then names the state file and that process) or when the lock file cannot
  // be opened (a dangling link, a folder in its place; `why` names it): going
  // on without the lock would let two writers overwrite each other. True
  // without the lock only when the state's folder is missing, since nobody
  // can save the state there.
  bool TryLock(std::string& why);
  void Unlock();
  bool Held() const { return handle_ != -1; }

 private:
  std::string path_;
  // The open lock file: a descriptor, or a HANDLE on Windows; -1 while not held.
  std::intptr_t handle_ = -1;
};
