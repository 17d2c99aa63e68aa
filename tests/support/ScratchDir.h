// A folder of a test's own under the system's temp directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Removed with everything in it, so what a program puts beside the files it is
// given (a lock file, a temporary file) goes too.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Writes `bytes` as `name` (UTF-8) in the folder and returns its path (UTF-8).
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
