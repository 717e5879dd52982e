#include "platform/eddsa.h"

#include <gtest/gtest.h>

#include <openssl/err.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> fromHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

int verify(const std::vector<uint8_t>& key, const std::vector<uint8_t>& message,
           const std::vector<uint8_t>& signature) {
  return eddsa::verify({key.data(), key.data() + key.size()},
                       {message.data(), message.data() + message.size()},
                       {signature.data(), signature.data() + signature.size()});
}

// The key of RFC 8032's first example; its empty message, and a 32-byte
// message like a digest buffer.
const std::vector<uint8_t> kKey =
    fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
const std::vector<uint8_t> kEmptySignature = fromHex(
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46b"
    "d25bf5f0595bbe24655141438e7a100b");
const std::vector<uint8_t> kDigestSignature = fromHex(
    "00c1db988bb12fd7351a6054ae3fac90fab7e4fc56b1651c7181f5f55f896f663933d3a90605d9058e9d0ac45950ee2d"
    "3c9c9b14857415587179fe0ccac35f09");

std::vector<uint8_t> digest() {
  std::vector<uint8_t> bytes(32);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

TEST(Eddsa, KnownSignatures) {
  EXPECT_NE(0, verify(kKey, {}, kEmptySignature));
  EXPECT_NE(0, verify(kKey, digest(), kDigestSignature));
  EXPECT_EQ(0, verify(kKey, {0}, kEmptySignature));
}

TEST(Eddsa, AnyChangedBitIsRefused) {
  std::vector<uint8_t> key = kKey, message = digest(), signature = kDigestSignature;
  for (std::vector<uint8_t>* bytes : {&message, &signature, &key}) {
    for (size_t bit = 0; bit < bytes->size() * 8; ++bit) {
      (*bytes)[bit / 8] ^= 1 << (bit % 8);
      EXPECT_EQ(0, verify(key, message, signature)) << "bit " << bit;
      (*bytes)[bit / 8] ^= 1 << (bit % 8);
    }
  }
  // Refusals leave nothing behind in libcrypto's error queue.
  EXPECT_EQ(0u, ERR_peek_error());
}

TEST(Eddsa, WrongSizesAreRefused) {
  std::vector<uint8_t> longSignature = kDigestSignature;
  longSignature.push_back(0);
  EXPECT_EQ(0, verify(kKey, digest(), longSignature));
  longSignature.resize(63);
  EXPECT_EQ(0, verify(kKey, digest(), longSignature));
  EXPECT_EQ(0, verify(std::vector<uint8_t>(kKey.begin(), kKey.end() - 1), digest(), kDigestSignature));
  const std::vector<uint8_t> message = digest();
  EXPECT_EQ(0, eddsa::verify({kKey.data() + 32, kKey.data()}, {message.data(), message.data() + 32},
                             {kDigestSignature.data(), kDigestSignature.data() + 64}));
}

}  // namespace
