// The lines of a text file, read in fixed-size blocks so that a file of any
// size costs one block of memory, never a copy of the whole file, and a small
// file no more than its own size.
#pragma once

#include <cstdint>
#include <istream>
#include <string_view>
#include <vector>

class LineReader {
 public:
  // No program text needs a line anywhere near this long.
  static constexpr size_t kMaxLineBytes = 65536;

  enum class Status { Line, End, TooLong };

  explicit LineReader(std::istream& in);
  // The next line without its end (LF, CR LF) and without blanks around it.
  // TooLong when a line exceeds kMaxLineBytes.
  Status Next(std::string_view& line);
  // 1-based number of the line last returned.
  uint64_t lineNumber() const { return lineNumber_; }

 private:
  bool Refill();

  std::istream& in_;
  std::vector<char> block_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool atEnd_ = false;
  uint64_t lineNumber_ = 0;
};
