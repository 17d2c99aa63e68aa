#include "image/DurableFile.h"

#include <windows.h>
// windows.h names its own ReplaceFileA/W so; ours is the one declared above.
#undef ReplaceFile

#include <filesystem>
#include <random>

#include "image/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

std::string WindowsError(const char* what) {
  return std::string(what) + ": Windows error " + std::to_string(GetLastError());
}

// Made exclusively and shared with nobody until it is closed.
HANDLE CreateTemporary(const std::string& path, std::wstring& temporary) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = path + std::string(kTemporaryInfix);
    for (size_t n = 0; n < kTemporarySuffixLength; ++n) {
      name += kLetters[random() % (sizeof kLetters - 1)];
    }
    temporary = PathFromUtf8(name).wstring();
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
      return file;
    }
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string ReplaceFile(const std::string& path, std::string_view text) {
  std::wstring temporary;
  const HANDLE file = CreateTemporary(path, temporary);
  if (file == INVALID_HANDLE_VALUE) {
    return WindowsError("cannot create a temporary file beside it");
  }
  std::string error;
  DWORD written = 0;
  if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    error = WindowsError("cannot write it");
  } else if (!FlushFileBuffers(file)) {
    error = WindowsError("cannot sync it");
  }
  CloseHandle(file);
  if (error.empty() && !MoveFileExW(temporary.c_str(), PathFromUtf8(path).c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = WindowsError("cannot put it in place");
  }
  if (!error.empty()) {
    DeleteFileW(temporary.c_str());
  }
  return error;
}

FileLock::FileLock(const std::string& path) {
  const std::string lockPath = path + ".lock";
  const HANDLE file = CreateFileW(PathFromUtf8(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = WindowsError(("cannot open the lock file " + lockPath).c_str());
    return;
  }
  OVERLAPPED at{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
    error_ = WindowsError(("cannot lock " + lockPath).c_str());
    CloseHandle(file);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

FileLock::~FileLock() {
  if (held()) {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}

AppendedFile::AppendedFile(const std::string& path) {
  // Appending only: every write lands at the end, whoever else appends.
  const HANDLE file = CreateFileW(PathFromUtf8(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = WindowsError("cannot open it");
    return;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    error_ = "it is not a regular file";
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

AppendedFile::~AppendedFile() {
  if (open()) {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}

std::string AppendedFile::Append(std::string_view line) {
  const auto file = reinterpret_cast<HANDLE>(handle_);
  DWORD written = 0;
  if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size()) {
    return WindowsError("cannot write it");
  }
  return FlushFileBuffers(file) ? std::string() : WindowsError("cannot sync it");
}
