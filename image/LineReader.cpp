#include "image/LineReader.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(const char* begin, const char* end) {
  while (begin != end && IsBlank(*begin)) {
    ++begin;
  }
  while (end != begin && IsBlank(end[-1])) {
    --end;
  }
  return {begin, static_cast<size_t>(end - begin)};
}

}  // namespace

namespace {

// A block that holds the longest line allowed, or all that is left of the
// stream and one byte more when that is less: enough to tell that the
// stream has ended.
size_t BlockBytes(std::istream& in) {
  const std::streampos start = in.tellg();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(start);
  if (start < 0 || end < start) {
    in.clear();
    return LineReader::kMaxLineBytes;
  }
  return std::min<size_t>(static_cast<size_t>(end - start) + 1, LineReader::kMaxLineBytes);
}

}  // namespace

LineReader::LineReader(std::istream& in) : in_(in), block_(BlockBytes(in)) {}

bool LineReader::Refill() {
  if (atEnd_) {
    return false;
  }
  std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  in_.read(block_.data() + end_, static_cast<std::streamsize>(block_.size() - end_));
  const std::streamsize got = in_.gcount();
  if (got <= 0 || !in_) {
    atEnd_ = true;
  }
  end_ += static_cast<size_t>(got > 0 ? got : 0);
  return true;
}

LineReader::Status LineReader::Next(std::string_view& line) {
  for (;;) {
    const char* first = block_.data() + begin_;
    if (const void* newline = std::memchr(first, '\n', end_ - begin_)) {
      const char* stop = static_cast<const char*>(newline);
      begin_ += static_cast<size_t>(stop - first) + 1;
      ++lineNumber_;
      line = Trimmed(first, stop);
      return Status::Line;
    }
    if (begin_ == 0 && end_ == block_.size()) {
      ++lineNumber_;
      return Status::TooLong;
    }
    if (!Refill()) {
      if (begin_ == end_) {
        return Status::End;
      }
      // The last line of a file that does not end in a newline.
      ++lineNumber_;
      line = Trimmed(block_.data() + begin_, block_.data() + end_);
      begin_ = end_;
      return Status::Line;
    }
  }
}
