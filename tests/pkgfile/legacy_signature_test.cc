#include "pkgfile/legacy_signature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "key_file.h"
#include "legacy_signer.h"
#include "pkgfile/mod_p.h"

namespace {

// Affine points of v^2 = u^3 + 486662 u^2 + u by the chord and tangent rule.
struct Point {
  bool infinity = true;
  Num u, v;
};

const Num kA(486662);

Point add(const Point& p, const Point& q) {
  if (p.infinity) return q;
  if (q.infinity) return p;
  Num slope;
  if (p.u == q.u) {
    if ((p.v + q.v).isZero()) return Point();
    slope = (Num(3) * p.u * p.u + Num(2) * kA * p.u + Num(1)) / (Num(2) * p.v);
  } else {
    slope = (q.v - p.v) / (q.u - p.u);
  }
  const Num u = slope * slope - kA - p.u - q.u;
  return {false, u, slope * (p.u - u) - p.v};
}

Point multiply(const Bytes32& scalar, const Point& p) {
  Point sum;
  for (int bit = 255; bit >= 0; --bit) {
    sum = add(sum, sum);
    if ((scalar[bit / 8] >> (bit % 8)) & 1) sum = add(sum, p);
  }
  return sum;
}

// B: u = 9 and the v of RFC 7748.
const Point kBase{false, Num(9),
                  Num::fromDecimal("14781619447589544791020593568409986887264606134616475288964881837755586237401")};

bool curveV(const Num& u, Num& v) { return (u * u * u + kA * u * u + u).squareRoot(v); }

// u([s]P0 - [k]B), P0 the point of the key whose v is even; 0 for the
// neutral point.
Bytes32 referenceCombination(const Bytes32& key, const Bytes32& s, const Bytes32& k) {
  const Num u = Num::fromBytes(key);
  Num v;
  EXPECT_TRUE(curveV(u, v));
  if (v.isOdd()) v = Num(0) - v;
  Point minusKB = multiply(k, kBase);
  minusKB.v = Num(0) - minusKB.v;
  const Point r = add(multiply(s, {false, u, v}), minusKB);
  return r.infinity ? Bytes32{} : r.u.bytes();
}

Bytes32 randomBytes(std::mt19937& random, uint8_t topMask = 0xff) {
  Bytes32 b;
  for (uint8_t& x : b) x = static_cast<uint8_t>(random());
  b[31] &= topMask;
  return b;
}

// The order l of B.
const Bytes32 kOrder =
    Num::fromDecimal("7237005577332262213973186563042994240857116359379907606001950938285454250989").bytes();

class LegacySignature : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(readKeyFile(TEST_KEY_FILE, keys_, error)) << error;
  }
  static LegacyPublicKey testKey() { return {keys_.legacyPublic, keys_.hashTable()}; }
  static bool sign(const uint8_t digest[32], uint8_t signature[68]) {
    return legacySign(keys_.legacySecret, keys_.hashTable(), digest, signature);
  }

  static KeyFile keys_;
};

KeyFile LegacySignature::keys_;

// The installer's evaluation of [s]P0 - [k]B against plain double-and-add:
// random scalars for the test key and for keys of random secrets (of both v
// parities), and the small scalars and the order, where the neutral point
// turns up.
TEST_F(LegacySignature, CombinationMatchesDoubleAndAdd) {
  std::mt19937 random(1);
  Bytes32 testKey;
  memcpy(testKey.data(), keys_.legacyPublic, 32);
  std::vector<Bytes32> keys = {testKey};
  for (int i = 0; i < 3; ++i) keys.push_back(multiply(randomBytes(random, 0x0f), kBase).u.bytes());

  std::vector<std::pair<Bytes32, Bytes32>> scalars = {
      {{}, {}}, {{1}, {}}, {{}, {1}}, {{1}, {1}}, {kOrder, kOrder}, {{2}, kOrder}};
  for (int i = 0; i < 4; ++i) scalars.push_back({randomBytes(random, 0x3f), randomBytes(random)});

  for (const Bytes32& key : keys) {
    for (const auto& [s, k] : scalars) {
      Bytes32 u;
      ASSERT_TRUE(legacyCombination(key.data(), s.data(), k.data(), u.data()));
      EXPECT_EQ(referenceCombination(key, s, k), u);
    }
  }

  // u = 0, the point of order 2, and the first u that is on no point.
  Bytes32 u{}, out;
  EXPECT_FALSE(legacyCombination(u.data(), kOrder.data(), kOrder.data(), out.data()));
  Num v;
  while (curveV(Num(++u[0]), v)) {}
  EXPECT_FALSE(legacyCombination(u.data(), kOrder.data(), kOrder.data(), out.data()));
}

// A signature of the test key made once by a separate implementation of the
// scheme: pins the challenge (r mixed into bytes 8..23, the clamping, here
// of a hash whose bit 255 is set) and the byte order of s.
TEST_F(LegacySignature, KnownSignature) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0x31 + i);
  const std::string hex =
      "00000000000000000000000000000000000000006a83ef0ebb793b5f7491eeae36d1a4f114b94cf8f8c03be4fa8"
      "10ddb2bfadfe3875242882d338bfbb5fa1d36395f6b02";
  uint8_t signature[68];
  for (int i = 0; i < 68; ++i)
    signature[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature));
}

// Random secrets give P0 = [x]B or P0 = [-x]B; the signer must pick the
// sign that the check uses in both cases.
TEST_F(LegacySignature, SignedDigestsCheck) {
  std::mt19937 random(2);
  for (int i = 0; i < 16; ++i) {
    const Bytes32 secret = randomBytes(random), digest = randomBytes(random);
    Bytes32 key;
    uint8_t signature[68];
    ASSERT_TRUE(legacyPublicKey(secret.data(), key.data()));
    ASSERT_TRUE(legacySign(secret.data(), keys_.hashTable(), digest.data(), signature));
    EXPECT_TRUE(legacySignatureValid({key.data(), keys_.hashTable()}, digest.data(), signature)) << i;
  }
}

// The signature covers the first 20 bytes of the digest buffer, all a SHA-1
// digest has; every bit of them, of r and of s counts.
TEST_F(LegacySignature, AnyChangedBitIsRefused) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0xa5 ^ i);
  uint8_t signature[68];
  ASSERT_TRUE(sign(digest, signature));
  for (int bit = 0; bit < 20 * 8; ++bit) {
    digest[bit / 8] ^= 1 << (bit % 8);
    EXPECT_FALSE(legacySignatureValid(testKey(), digest, signature)) << "digest bit " << bit;
    digest[bit / 8] ^= 1 << (bit % 8);
  }
  for (int bit = 20 * 8; bit < 68 * 8; ++bit) {
    signature[bit / 8] ^= 1 << (bit % 8);
    EXPECT_FALSE(legacySignatureValid(testKey(), digest, signature)) << "signature bit " << bit;
    signature[bit / 8] ^= 1 << (bit % 8);
  }
  // Neither the 12 bytes after a SHA-1 digest nor the first 20 of the
  // signature are looked at.
  memset(digest + 20, 0xff, 12);
  memset(signature, 0xff, 20);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature));
}

// s + l is the same multiplier of P0 and is accepted; s + 4l reaches 2^254
// and is refused although it gives the same point.
TEST_F(LegacySignature, LargeScalarsAreRefused) {
  const uint8_t digest[32] = {1, 2, 3, 4};
  uint8_t signature[68];
  ASSERT_TRUE(sign(digest, signature));
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
