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
    in_.seekg(static_cast<std::streamoff>(position));
    in_.read(static_cast<char*>(into), static_cast<std::streamsize>(count));
    const auto got = static_cast<size_t>(std::max<std::streamsize>(in_.gcount(), 0));
    in_.clear();
    return got;
  }

  // True when `count` bytes at `position` lie inside the file.
  bool Holds(uint64_t position, uint64_t count) const {
    return position <= size_ && count <= size_ - position;
  }

  // The NUL-terminated string at `position`; one that reaches the end of the
  // file without a NUL ends there.
  std::string StringAt(uint64_t position) {
    std::string text;
    std::array<char, 64> chunk;
    for (;;) {
      const size_t got = ReadAt(position, chunk.data(), chunk.size());
      const auto end = std::find(chunk.begin(), chunk.begin() + got, '\0');
      text.append(chunk.begin(), end);
      if (end != chunk.begin() + got || got == 0) {
        return text;
      }
      position += got;
    }
  }

 private:
  std::istream& in_;
  uint64_t size_;
};
