// The run log: one JSON line for each operation on each POD, appended to a
// file that the command line (--log, BRONTAFLEX_LOG) and the window
// (BRONTAFLEX_LOG) share, so a production station keeps one record of what was
// programmed, where, by whom and how it ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/DurableFile.h"
#include "ops/OperationOutcome.h"
#include "pod/FailureCause.h"

class ProgrammerOperations;

// What one operation on one POD did; the log adds when, where and who.
struct RunLogEntry {
  std::string command;   // "target-write", "pod-info"...
  std::string fileName;  // empty when the command reads no file
  std::string fileSha256;
  // The SHA-256 of the words the target's memory holds after the write, as
  // the memory digest gives it; empty when not known.
  std::string memorySha256;
  std::string device;        // empty when the command reads no file
  std::string podSerial;     // the POD's USB serial number, or the port chosen
  uint16_t podFirmware = 0;  // tenths (11 is 1.1); 0 when the run did not read it
  std::string outcome;       // the outcome's name, or the reader's for a refused file
  int exitStatus = 0;        // the command line's exit status for that outcome
  std::string message;       // the last status line
  std::string cause;         // why the POD command failed; empty when none did
  uint64_t durationMs = 0;
  std::optional<uint64_t> serialNumber;  // the number --serial wrote into the target
};

// The entry of `command` that `operations` ran to `outcome` in `durationMs`,
// with `message` and `cause` shown last: what the window logs.
RunLogEntry OperationLogEntry(std::string command, OperationOutcome outcome,
                              const ProgrammerOperations& operations, std::string message,
                              const FailureCause& cause, uint64_t durationMs);

// The line for `entry` at `utcTime` (ISO 8601) on `host` by `user`: one JSON
// object and a newline.
std::string RunLogLine(const RunLogEntry& entry, const std::string& utcTime,
                       const std::string& host, const std::string& user);

class RunLog {
 public:
  // Opens the log at `path` (UTF-8) for appending, making it when missing.
  explicit RunLog(const std::string& path);

  // Whether it opened; else error() says why, naming the file.
  bool open() const { return file_.open(); }
  std::string error() const;
  // Appends the entry's line whole, with the time now, this machine and this
  // user, and syncs it. Empty on success, else why not. Safe from several
  // threads and processes at once: each line goes out in one write.
  std::string Write(const RunLogEntry& entry);

 private:
  std::string path_;
  AppendedFile file_;
};
