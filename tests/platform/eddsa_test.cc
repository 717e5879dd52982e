#include "platform/eddsa.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fromHex(const std::string& text) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

int verify(const Bytes& key, const Bytes& message, const Bytes& signature) {
  return eddsa::verify({key.data(), key.data() + key.size()}, {message.data(), message.data() + message.size()},
                       {signature.data(), signature.data() + signature.size()});
}

// The key of RFC 8032's first example and what its secret signs of a 32-byte
// message like a digest buffer. One byte more or less of the signature or
// the key, ends given the wrong way round, and any changed bit are refused,
// leaving nothing behind in libcrypto's error queue.
TEST(Eddsa, KnownSignatureAndRefusals) {
  Bytes key = fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"), message(32);
  Bytes signature = fromHex(
      "00c1db988bb12fd7351a6054ae3fac90fab7e4fc56b1651c7181f5f55f896f663933d3a90605d9058e9d0ac45950ee2d"
      "3c9c9b14857415587179fe0ccac35f09");
  for (size_t i = 0; i < message.size(); ++i) message[i] = uint8_t(i);
  EXPECT_NE(0, verify(key, message, signature));
  Bytes longer = signature;
  longer.push_back(0);
  EXPECT_EQ(0, verify(key, message, longer));
  EXPECT_EQ(0, verify(key, message, {signature.begin(), signature.end() - 1}));
  EXPECT_EQ(0, verify({key.begin(), key.end() - 1}, message, signature));
  EXPECT_EQ(0, eddsa::verify({key.data() + 32, key.data()}, {message.data(), message.data() + 32},
                             {signature.data(), signature.data() + 64}));
  for (Bytes* bytes : {&message, &signature, &key}) {
    for (size_t bit = 0; bit < bytes->size() * 8; ++bit) {
      (*bytes)[bit / 8] ^= 1 << (bit % 8);
      EXPECT_EQ(0, verify(key, message, signature)) << "bit " << bit;
      (*bytes)[bit / 8] ^= 1 << (bit % 8);
    }
  }
  EXPECT_EQ(0u, ERR_peek_error());
}

}  // namespace
