// The emulated POD's state on disk: replaced whole and privately, so that a
// crash leaves the old or the new contents and nobody can read or redirect the
// CSM keys in it; and a lock beside it, so that two processes never drive one
// emulated POD at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ReplaceFile and RemoveStaleTemporaries keep the state file itself.
#include "image/DurableFile.h"

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
