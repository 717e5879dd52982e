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

// The key of RFC 8032's first example, and what its secret signs of a 32-byte
// message like a digest buffer.
const std::vector<uint8_t> kKey =
    fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
const std::vector<uint8_t> kDigestSignature = fromHex(
    "00c1db988bb12fd7351a6054ae3fac90fab7e4fc56b1651c7181f5f55f896f663933d3a90605d9058e9d0ac45950ee2d"
    "3c9c9b14857415587179fe0ccac35f09");

std::vector<uint8_t> digest() {
  std::vector<uint8_t> bytes(32);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

// The known signature; one byte more or less of the signature or the key,
// and ends given the wrong way round, are refused.
TEST(Eddsa, KnownSignatureAtItsSizesOnly) {
  const std::vector<uint8_t> message = digest();
  EXPECT_NE(0, verify(kKey, message, kDigestSignature));
  std::vector<uint8_t> longSignature = kDigestSignature;
  longSignature.push_back(0);
  EXPECT_EQ(0, verify(kKey, message, longSignature));
  EXPECT_EQ(0, verify(kKey, message, {kDigestSignature.begin(), kDigestSignature.end() - 1}));
  EXPECT_EQ(0, verify({kKey.begin(), kKey.end() - 1}, message, kDigestSignature));
  EXPECT_EQ(0, eddsa::verify({kKey.data() + 32, kKey.data()}, {message.data(), message.data() + 32},
                             {kDigestSignature.data(), kDigestSignature.data() + 64}));
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

}  // namespace
