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

Bytes32 bytes32(const std::string& hex) {
  Bytes32 bytes;
  const std::vector<uint8_t> v = fromHex(hex);
  std::copy(v.begin(), v.end(), bytes.begin());
  return bytes;
}

// The order l of the base point B, and l + 1, little-endian.
const Bytes32 kOrder = bytes32("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
const Bytes32 kOrderPlus1 = bytes32("eed3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");

class LegacySignature : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(readKeyFile(TEST_KEY_FILE, keys_, error)) << error;
  }
  static LegacyPublicKey testKey() { return {keys_.legacyPublic, keys_.hashTable()}; }
  static KeyFile keys_;
};

KeyFile LegacySignature::keys_;

// u([s]P0 - [k]B) where the answer is known: the neutral point (u = 0), P0
// itself and -B (u = 9), for the test key and a key of a random secret. A
// key that is the point of order 2 (u = 0) or on no point (u = 2) is
// refused.
TEST_F(LegacySignature, CombinationAtKnownPoints) {
  std::mt19937 random(1);
  Bytes32 secret, randomKey, testKey;
  for (uint8_t& b : secret) b = uint8_t(random());
  ASSERT_TRUE(legacyPublicKey(secret.data(), randomKey.data()));
  memcpy(testKey.data(), keys_.legacyPublic, 32);
  const Bytes32 zero{}, one{1}, nine{9};
  for (const Bytes32& key : {testKey, randomKey}) {
    const struct {
      Bytes32 s, k, u;
    } rows[] = {{zero, zero, zero},        {kOrder, kOrder, zero}, {one, zero, key},
                {kOrderPlus1, zero, key}, {zero, one, nine},      {zero, kOrderPlus1, nine}};
    for (const auto& row : rows) {
      Bytes32 u;
      ASSERT_TRUE(legacyCombination(key.data(), row.s.data(), row.k.data(), u.data()));
      EXPECT_EQ(row.u, u) << &row - rows;
    }
  }
  Bytes32 out;
  EXPECT_FALSE(legacyCombination(zero.data(), one.data(), one.data(), out.data()));
  EXPECT_FALSE(legacyCombination(Bytes32{2}.data(), one.data(), one.data(), out.data()));
}

// A signature of the test key made once by a separate implementation of the
// scheme: pins the challenge (r mixed into bytes 8..23, the clamping, here
// of a hash whose bit 255 is set) and the byte order of s.
TEST_F(LegacySignature, KnownSignature) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0x31 + i);
  const std::vector<uint8_t> signature = fromHex(
      "00000000000000000000000000000000000000006a83ef0ebb793b5f7491eeae36d1a4f114b94cf8f8c03be4fa8"
      "10ddb2bfadfe3875242882d338bfbb5fa1d36395f6b02");
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature.data()));
}

// Random secrets give P0 = [x]B or P0 = [-x]B; the signer must pick the
// sign that the check uses in both cases.
TEST_F(LegacySignature, SignedDigestsCheck) {
  std::mt19937 random(2);
  for (int i = 0; i < 16; ++i) {
    Bytes32 secret, digest, key;
    for (uint8_t& b : secret) b = uint8_t(random());
    for (uint8_t& b : digest) b = uint8_t(random());
    uint8_t signature[68];
    ASSERT_TRUE(legacyPublicKey(secret.data(), key.data()));
    ASSERT_TRUE(legacySign(secret.data(), keys_.hashTable(), digest.data(), signature));
    EXPECT_TRUE(legacySignatureValid({key.data(), keys_.hashTable()}, digest.data(), signature)) << i;
  }
}

// The signature covers the first 20 bytes of the digest buffer, all a SHA-1
// digest has; every bit of them, of r and of s counts. s + l is the same
// multiplier of P0 and is accepted; s + 4l reaches 2^254 and is refused
// although it gives the same point.
TEST_F(LegacySignature, AnyChangedBitAndLargeScalarsAreRefused) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0xa5 ^ i);
  uint8_t signature[68];
  ASSERT_TRUE(legacySign(keys_.legacySecret, keys_.hashTable(), digest, signature));
  for (int bit = 0; bit < 68 * 8; ++bit) {
    uint8_t* byte = bit < 160 ? &digest[bit / 8] : &signature[bit / 8];
    *byte ^= 1 << (bit % 8);
    EXPECT_FALSE(legacySignatureValid(testKey(), digest, signature)) << "bit " << bit;
    *byte ^= 1 << (bit % 8);
  }
  // Neither the 12 bytes after a SHA-1 digest nor the first 20 of the
  // signature are looked at.
  memset(digest + 20, 0xff, 12);
  memset(signature, 0xff, 20);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature));
  const auto addOrder = [&](unsigned times) {
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
      carry += signature[36 + i] + times * kOrder[i];
      signature[36 + i] = static_cast<uint8_t>(carry);
      carry >>= 8;
    }
  };
  addOrder(1);
  EXPECT_LT(signature[67], 0x40);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature));
  addOrder(3);
  EXPECT_GE(signature[67], 0x40);
  EXPECT_FALSE(legacySignatureValid(testKey(), digest, signature));
}

}  // namespace
