#include "image/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DigestOf(const std::string& text) {
  Sha256 hash;
  hash.Update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return HexDigest(hash.Final());
}

TEST(Sha256Test, MatchesThePublishedVectors) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 56 bytes: the length no longer fits the first block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1'000'000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message.substr(0, 60));
    EXPECT_EQ(DigestOf(c.message), c.digest);
  }
}

TEST(Sha256Test, PiecesGiveTheDigestOfTheWhole) {
  const std::string message(1000, 'x');
  for (const size_t piece : {1, 63, 64, 65, 200}) {
    Sha256 hash;
    for (size_t at = 0; at < message.size(); at += piece) {
      const size_t count = std::min(piece, message.size() - at);
      hash.Update(reinterpret_cast<const uint8_t*>(message.data() + at), count);
    }
    EXPECT_EQ(HexDigest(hash.Final()), DigestOf(message)) << piece;
  }
}

TEST(Sha256Test, WordsCountHighByteFirst) {
  const uint16_t words[] = {0x6162, 0x6364};
  EXPECT_EQ(WordsSha256(words, 2), DigestOf("abcd"));
  // Longer than the conversion buffer, so it is taken in several pieces.
  const std::vector<uint16_t> many(5000, 0x7879);
  std::string text;
  for (size_t i = 0; i < many.size(); ++i) {
    text += "xy";
  }
  EXPECT_EQ(WordsSha256(many.data(), many.size()), DigestOf(text));
}

}  // namespace
