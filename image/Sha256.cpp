#include "image/Sha256.h"

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "image/ProgramImage.h"
#include "image/Utf8Path.h"

namespace {

constexpr std::array<uint32_t, 64> kRoundConstants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::Compress(const uint8_t* block) {
  std::array<uint32_t, 64> w;
  for (size_t i = 0; i < 16; ++i) {
    w[i] = BigEndian32(block + 4 * i);
  }
  for (size_t i = 16; i < 64; ++i) {
    const uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state_;
  for (size_t i = 0; i < 64; ++i) {
    const uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
    const uint32_t choice = (e & f) ^ (~e & g);
    const uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
    const uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
    const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + s0 + majority;
  }
  const std::array<uint32_t, 8> add{a, b, c, d, e, f, g, h};
  for (size_t i = 0; i < 8; ++i) {
    state_[i] += add[i];
  }
}

void Sha256::Update(const uint8_t* bytes, size_t count) {
  totalBytes_ += count;
  while (count > 0) {
    if (blockBytes_ == 0 && count >= block_.size()) {
      Compress(bytes);
      bytes += block_.size();
      count -= block_.size();
      continue;
    }
    const size_t take = std::min(count, block_.size() - blockBytes_);
    std::memcpy(block_.data() + blockBytes_, bytes, take);
    blockBytes_ += take;
    bytes += take;
    count -= take;
    if (blockBytes_ == block_.size()) {
      Compress(block_.data());
      blockBytes_ = 0;
    }
  }
}

std::array<uint8_t, 32> Sha256::Final() {
  const uint64_t bits = totalBytes_ * 8;
  const uint8_t one = 0x80;
  Update(&one, 1);
  const uint8_t zero = 0;
  while (blockBytes_ != 56) {
    Update(&zero, 1);
  }
  std::array<uint8_t, 8> length;
  for (size_t i = 0; i < 8; ++i) {
    length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  }
  Update(length.data(), length.size());
  std::array<uint8_t, 32> digest;
  for (size_t i = 0; i < 8; ++i) {
    for (size_t j = 0; j < 4; ++j) {
      digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
    }
  }
  return digest;
}

std::string HexDigest(const std::array<uint8_t, 32>& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string BytesSha256(std::string_view bytes) {
  Sha256 hash;
  hash.Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return HexDigest(hash.Final());
}

std::string WordsSha256(const uint16_t* words, size_t count) {
  Sha256 hash;
  std::array<uint8_t, 4096> bytes;
  while (count > 0) {
    const size_t take = std::min(count, bytes.size() / 2);
    for (size_t i = 0; i < take; ++i) {
      bytes[2 * i] = static_cast<uint8_t>(words[i] >> 8);
      bytes[2 * i + 1] = static_cast<uint8_t>(words[i]);
    }
    hash.Update(bytes.data(), 2 * take);
    words += take;
    count -= take;
  }
  return HexDigest(hash.Final());
}

std::string SectionSha256(const ImageSection& section) {
  return WordsSha256(section.data, section.wordCount);
}

std::string ImageSha256(const ProgramImage& image) {
  // The sections lie back to back in image order from the buffer's start.
  return WordsSha256(image.words(), image.imageBytes() / 2);
}

std::string FileSha256(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(PathFromUtf8(path), error)) {
    return {};
  }
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    return {};
  }
  Sha256 sha;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    sha.Update(reinterpret_cast<const uint8_t*>(chunk), static_cast<size_t>(in.gcount()));
  }
  return in.bad() ? std::string() : HexDigest(sha.Final());
}
