#include "platform/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string hex(const uint8_t* bytes, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

// Feeds the text in pieces of the given size through the base class, as the
// package reader does, and returns the digest.
std::string digestOf(Hash& hash, const std::string& text, size_t piece = 1000) {
  for (size_t at = 0; at < text.size(); at += piece)
    hash.update(text.data() + at, std::min(piece, text.size() - at));
  uint8_t out[32];
  hash.final(out);
  return hex(out, hash.digestSize());
}

const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

TEST(Hash, KnownDigests) {
  SHA1 sha1;
  EXPECT_EQ(20u, sha1.digestSize());
  EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", digestOf(sha1, ""));
  EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", digestOf(sha1, "abc"));
  EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1", digestOf(sha1, kTwoBlocks, 7));

  SHA256 sha256;
  EXPECT_EQ(32u, sha256.digestSize());
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
            digestOf(sha256, ""));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            digestOf(sha256, "abc"));
  EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
            digestOf(sha256, kTwoBlocks, 7));
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
            digestOf(sha256, std::string(1000000, 'a'), 16384));
}

// The bytes fed after final make up a digest of their own: the earlier
// bytes are forgotten.
TEST(Hash, FinalStartsAfresh) {
  SHA1 sha1;
  digestOf(sha1, "some earlier bytes");
  EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", digestOf(sha1, "abc"));
  EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", digestOf(sha1, ""));

  SHA256 sha256;
  digestOf(sha256, kTwoBlocks);
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            digestOf(sha256, "abc"));
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
            digestOf(sha256, ""));
}

}  // namespace
