#include "pkgfile/legacy_signature.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "key_file.h"
#include "legacy_signer.h"

namespace {

using Bytes32 = std::array<uint8_t, 32>;

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2) bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

const KeyFile& keys() {
  static KeyFile keys;
  std::string error;
  if (!keys.present) {
    EXPECT_TRUE(readKeyFile(TEST_KEY_FILE, keys, error)) << error;
  }
  return keys;
}

LegacyPublicKey testKey() { return {keys().legacyPublic, keys().hashTable()}; }

// The order l of the base point B, little-endian.
const std::vector<uint8_t> kOrder = fromHex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");

// u([s]P0 - [k]B) where the answer is known: the neutral point (u = 0), P0
// itself, and -B (u = 9), with s or k one or l + 1. A key that is the point
// of order 2 (u = 0) or on no point (u = 2) is refused.
TEST(LegacySignature, CombinationAtKnownPoints) {
  Bytes32 key, zero{}, one{1}, nine{9}, order, orderPlus1, u;
  memcpy(key.data(), keys().legacyPublic, 32);
  std::copy(kOrder.begin(), kOrder.end(), order.begin());
  orderPlus1 = order;
  ++orderPlus1[0];
  for (const auto& [s, k, expected] : {std::make_tuple(zero, zero, zero), {order, order, zero}, {one, zero, key},
                                       {orderPlus1, zero, key}, {zero, one, nine}, {zero, orderPlus1, nine}}) {
    ASSERT_TRUE(legacyCombination(key.data(), s.data(), k.data(), u.data()));
    EXPECT_EQ(expected, u);
  }
  EXPECT_FALSE(legacyCombination(zero.data(), one.data(), one.data(), u.data()));
  EXPECT_FALSE(legacyCombination(Bytes32{2}.data(), one.data(), one.data(), u.data()));
}

// A signature of the test key made once by a separate implementation of the
// scheme: pins the challenge (r mixed into bytes 8..23, the clamping, here
// of a hash whose bit 255 is set) and the byte order of s. Random secrets
// give P0 = [x]B or P0 = [-x]B; the signer must pick the sign that the
// check uses in both cases.
TEST(LegacySignature, KnownAndSignedDigestsCheck) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0x31 + i);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest,
                                   fromHex("00000000000000000000000000000000000000006a83ef0ebb793b5f7491eeae36d1a4f1"
                                           "14b94cf8f8c03be4fa810ddb2bfadfe3875242882d338bfbb5fa1d36395f6b02")
                                       .data()));
  std::mt19937 random(2);
  for (int i = 0; i < 16; ++i) {
    Bytes32 secret, key;
    for (uint8_t& b : secret) b = uint8_t(random());
    for (uint8_t& b : digest) b = uint8_t(random());
    uint8_t signature[68];
    ASSERT_TRUE(legacyPublicKey(secret.data(), key.data()));
    ASSERT_TRUE(legacySign(secret.data(), keys().hashTable(), digest, signature));
    EXPECT_TRUE(legacySignatureValid({key.data(), keys().hashTable()}, digest, signature)) << i;
  }
}

// The signature covers the first 20 bytes of the digest buffer, all a SHA-1
// digest has; every bit of them, of r and of s counts; the rest of either
// is not looked at. s + l is the same multiplier of P0 and is accepted;
// s + 4l reaches 2^254 and is refused although it gives the same point.
TEST(LegacySignature, AnyChangedBitAndLargeScalarsAreRefused) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0xa5 ^ i);
  uint8_t signature[68];
  ASSERT_TRUE(legacySign(keys().legacySecret, keys().hashTable(), digest, signature));
  for (int bit = 0; bit < 68 * 8; ++bit) {
    uint8_t* byte = bit < 160 ? &digest[bit / 8] : &signature[bit / 8];
    *byte ^= 1 << (bit % 8);
    EXPECT_FALSE(legacySignatureValid(testKey(), digest, signature)) << "bit " << bit;
    *byte ^= 1 << (bit % 8);
  }
  memset(digest + 20, 0xff, 12);
  memset(signature, 0xff, 20);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature));
  for (const unsigned times : {1, 3}) {
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
      carry += signature[36 + i] + times * kOrder[i];
      signature[36 + i] = static_cast<uint8_t>(carry);
      carry >>= 8;
    }
    EXPECT_EQ(times == 1, signature[67] < 0x40);
    EXPECT_EQ(times == 1, legacySignatureValid(testKey(), digest, signature));
  }
}

}  // namespace
