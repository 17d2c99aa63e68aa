#include "pod/TraceFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <streambuf>

#include "image/Utf8Path.h"
#include "pod/PrivateFile.h"

namespace {

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
  const int fd = OpenPrivateFile(path, existing == ExistingTrace::Replace);
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
  // What was there before goes only once the file is known to be a file.
  if (existing == ExistingTrace::Replace && !EmptyFile(fd)) {
    error = "Cannot empty the trace file " + name + ": " + std::strerror(errno);
    return nullptr;
  }
  return stream;
}
