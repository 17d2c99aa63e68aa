// A binary file as a size and bounded reads at any position, shared by the
// readers of the formats that point into themselves (COFF, ELF).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <istream>
#include <string>

inline uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t U32(const uint8_t* p) {
  return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16;
}

// Nothing is read past the end of the file.
class FileSource {
 public:
  FileSource(std::istream& in, uint64_t size) : in_(in), size_(size) {}
  uint64_t size() const { return size_; }

  // Reads up to `count` bytes at `position`; returns how many arrived.
  size_t ReadAt(uint64_t position, void* into, size_t count) {
    if (position >= size_) {
      return 0;
    }
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - position));
    in_.clear();
    // A read that carries on from the last one needs no seek, which costs a
    // system call: the sections of a program mostly follow one another.
    if (position != streamAt_) {
      in_.seekg(static_cast<std::streamoff>(position));
    }
    in_.read(static_cast<char*>(into), static_cast<std::streamsize>(count));
    const auto got = static_cast<size_t>(std::max<std::streamsize>(in_.gcount(), 0));
    streamAt_ = got == count ? position + got : kUnknownPosition;
    in_.clear();
    return got;
  }

  // True when `count` bytes at `position` lie inside the file.
  bool Holds(uint64_t position, uint64_t count) const {
    return position <= size_ && count <= size_ - position;
  }

  // The NUL-terminated string at `position`; one that reaches the end of the
  // file without a NUL ends there. The strings a file names its sections with
  // lie close together, so they are read a block at a time and kept.
  std::string StringAt(uint64_t position) {
    std::string text;
    for (;;) {
      if (position < stringsAt_ || position >= stringsAt_ + stringsHeld_) {
        stringsAt_ = position;
        stringsHeld_ = ReadAt(position, strings_.data(), strings_.size());
        if (stringsHeld_ == 0) {
          return text;
        }
      }
      const char* first = strings_.data() + (position - stringsAt_);
      const char* last = strings_.data() + stringsHeld_;
      const char* end = std::find(first, last, '\0');
      text.append(first, end);
      if (end != last) {
        return text;
      }
      position += static_cast<uint64_t>(last - first);
    }
  }

 private:
  static constexpr uint64_t kUnknownPosition = UINT64_MAX;

  std::istream& in_;
  uint64_t size_;
  uint64_t streamAt_ = kUnknownPosition;  // where the stream stands, when known
  std::array<char, 4096> strings_;
  uint64_t stringsAt_ = 0;
  size_t stringsHeld_ = 0;
};
