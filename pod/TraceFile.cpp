#include "pod/TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <streambuf>

#include "image/Utf8Path.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int OpenFile(const std::filesystem::path& path, ExistingTrace existing) {
  // Windows makes no links of the kind a user can plant, and opening a file
  // never waits on a reader.
  const int flags = _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT |
                    (existing == ExistingTrace::Replace ? _O_TRUNC : _O_EXCL);
  return _wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}

bool IsRegularFile(int fd) {
  struct _stat64 status {};
  return _fstat64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

long long WriteSome(int fd, const char* bytes, size_t count) {
  return _write(fd, bytes, static_cast<unsigned>(count));
}

void CloseFile(int fd) {
  _close(fd);
}
#else
int OpenFile(const std::filesystem::path& path, ExistingTrace existing) {
  // Non-blocking, so that a FIFO without a reader fails at once instead of
  // waiting for one; the trace's own writes block again.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                    (existing == ExistingTrace::Replace ? 0 : O_EXCL);
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd >= 0) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  return fd;
}

bool IsRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

long long WriteSome(int fd, const char* bytes, size_t count) {
  return ::write(fd, bytes, count);
}

void CloseFile(int fd) {
  ::close(fd);
}
#endif

// Writes to the descriptor a buffer at a time and owns it; a write that fails
// (a full disk) makes the stream fail.
class DescriptorBuffer final : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }
  ~DescriptorBuffer() override {
    sync();
    CloseFile(fd_);
  }
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    const char* at = pbase();
    while (at < pptr()) {
      const long long written = WriteSome(fd_, at, static_cast<size_t>(pptr() - at));
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        return -1;
      }
      at += written;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return 0;
  }

 private:
  int fd_;
  std::array<char, 4096> buffer_{};
};

class TraceStream final : public std::ostream {
 public:
  explicit TraceStream(int fd) : std::ostream(nullptr), buffer_(fd) { rdbuf(&buffer_); }
  ~TraceStream() override { flush(); }

 private:
  DescriptorBuffer buffer_;
};

}  // namespace

std::unique_ptr<std::ostream> OpenTraceFile(const std::filesystem::path& path,
                                            ExistingTrace existing, std::string& error) {
  const std::string name = Utf8FromPath(path);
  const int fd = OpenFile(path, existing);
  if (fd < 0) {
    error = errno == EEXIST ? "The trace file " + name + " exists already"
                            : "Cannot write the trace file " + name + ": " + std::strerror(errno);
    return nullptr;
  }
  if (!IsRegularFile(fd)) {
    CloseFile(fd);
    error = "The trace file " + name + " is not a regular file";
    return nullptr;
  }
  auto stream = std::make_unique<TraceStream>(fd);
#ifndef _WIN32
  // What was there before goes only once the file is known to be a file.
  if (existing == ExistingTrace::Replace && ::ftruncate(fd, 0) != 0) {
    error = "Cannot empty the trace file " + name + ": " + std::strerror(errno);
    return nullptr;
  }
#endif
  return stream;
}
