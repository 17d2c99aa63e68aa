// SHA-256 of byte strings, and of program words taken as two bytes each, high
// byte first: the checksums by which a user compares two programs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class ProgramImage;
struct ImageSection;

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* bytes, size_t count);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<uint8_t, 32> Final();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t blockBytes_ = 0;
  uint64_t totalBytes_ = 0;
};

// Lower-case hexadecimal of a digest.
std::string HexDigest(const std::array<uint8_t, 32>& digest);

// The digest of `bytes`.
std::string BytesSha256(std::string_view bytes);
// The digest of `count` words, each as its high byte then its low byte.
std::string WordsSha256(const uint16_t* words, size_t count);
std::string SectionSha256(const ImageSection& section);
// Every section's words in image order.
std::string ImageSha256(const ProgramImage& image);

// The digest of the bytes of the regular file at the UTF-8 `path` as it is on
// disk now; empty when it cannot be read or is no regular file (a FIFO or a
// device would never end or never begin).
std::string FileSha256(const std::string& path);
