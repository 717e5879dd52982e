#include "pkgfile/legacy_signature.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

#include "key_file.h"
#include "legacy_signer.h"
#include "platform/eddsa.h"
#include "signature_part.h"

namespace {

using Bytes32 = std::array<uint8_t, 32>;

// A number modulo p = 2^255 - 19, plainly on BIGNUM.
class Num {
 public:
  Num(unsigned long w = 0) : n_(BN_new()) { BN_set_word(n_, w); }
  Num(const Num& other) : n_(BN_dup(other.n_)) {}
  Num& operator=(const Num& other) {
    BN_copy(n_, other.n_);
    return *this;
  }
  ~Num() { BN_free(n_); }

  static Num fromBytes(const Bytes32& bytes) {
    Num x;
    BN_lebin2bn(bytes.data(), 32, x.n_);
    return x;
  }
  static Num fromDecimal(const char* text) {
    Num x;
    BN_dec2bn(&x.n_, text);
    return x;
  }
  Bytes32 bytes() const {
    Bytes32 out;
    BN_bn2lebinpad(n_, out.data(), 32);
    return out;
  }

  friend Num operator+(const Num& a, const Num& b) { return a.apply(b, BN_mod_add); }
  friend Num operator-(const Num& a, const Num& b) { return a.apply(b, BN_mod_sub); }
  friend Num operator*(const Num& a, const Num& b) { return a.apply(b, BN_mod_mul); }
  friend Num operator/(const Num& a, const Num& b) {
    Num inverse;
    BN_mod_inverse(inverse.n_, b.n_, prime(), ctx());
    return a * inverse;
  }
  bool operator==(const Num& other) const { return BN_cmp(n_, other.n_) == 0; }
  bool isZero() const { return BN_is_zero(n_); }
  bool isOdd() const { return BN_is_odd(n_); }
  bool squareRoot(Num& root) const { return BN_mod_sqrt(root.n_, n_, prime(), ctx()) != nullptr; }

 private:
  using ModOp = int (*)(BIGNUM*, const BIGNUM*, const BIGNUM*, const BIGNUM*, BN_CTX*);
  Num apply(const Num& b, ModOp op) const {
    Num r;
    op(r.n_, n_, b.n_, prime(), ctx());
    return r;
  }
  static BN_CTX* ctx() {
    static BN_CTX* c = BN_CTX_new();
    return c;
  }
  static const BIGNUM* prime() {
    static BIGNUM* p = [] {
      BIGNUM* b = nullptr;
      BN_hex2bn(&b, "7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed");
      return b;
    }();
    return p;
  }

  BIGNUM* n_;
};

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
  for (int i = 0; i < 24; ++i) {
    const Bytes32 digest = randomBytes(random);
    uint8_t signature[68];
    ASSERT_TRUE(sign(digest.data(), signature));
    EXPECT_EQ(std::string(20, '\0'), std::string(signature, signature + 20));
    EXPECT_TRUE(legacySignatureValid(testKey(), digest.data(), signature)) << i;
  }
  for (int i = 0; i < 8; ++i) {
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

// The whole Signature part; the EdDSA signature covers all 32 bytes of the
// digest buffer.
TEST_F(LegacySignature, SignaturePart) {
  uint8_t digest[32];
  for (int i = 0; i < 32; ++i) digest[i] = static_cast<uint8_t>(200 - i);
  std::vector<uint8_t> part;
  ASSERT_TRUE(makeSignaturePart(keys_, digest, false, part));
  EXPECT_EQ(68u, part.size());
  ASSERT_TRUE(makeSignaturePart(keys_, digest, true, part));
  ASSERT_EQ(132u, part.size());
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, part.data()));
  const asn1::blob key{keys_.eddsaPublic, keys_.eddsaPublic + 32};
  const asn1::blob signature{part.data() + 68, part.data() + 132};
  EXPECT_NE(0, eddsa::verify(key, {digest, digest + 32}, signature));
  digest[31] ^= 1;
  EXPECT_EQ(0, eddsa::verify(key, {digest, digest + 32}, signature));

  KeyFile noSeed = keys_;
  noSeed.present &= ~unsigned(KEY_EDDSA_SEED);
  EXPECT_FALSE(makeSignaturePart(noSeed, digest, true, part));
}

// The installer's own check, with the keys it was built with, when the
// configured key file holds the secret to sign with.
TEST_F(LegacySignature, BuiltInKeyChecks) {
  KeyFile built;
  std::string error;
  ASSERT_TRUE(readKeyFile(BUILT_IN_KEY_FILE, built, error, KEY_PUBLIC_ITEMS)) << error;
  if (!(built.present & KEY_LEGACY_SECRET)) GTEST_SKIP() << "no legacy-secret in " << BUILT_IN_KEY_FILE;
  const uint8_t digest[32] = {9, 8, 7};
  uint8_t signature[68];
  ASSERT_TRUE(legacySign(built.legacySecret, built.hashTable(), digest, signature));
  EXPECT_TRUE(legacySignatureValid(digest, signature));
  signature[40] ^= 4;
  EXPECT_FALSE(legacySignatureValid(digest, signature));
}

}  // namespace
