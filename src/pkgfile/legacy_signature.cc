#include "pkgfile/legacy_signature.h"

#include <cstring>

#include "pkgfile/built_in_keys.h"
#include "pkgfile/field_element.h"

// The curve is Curve25519, v^2 = u^3 + 486662 u^2 + u. The combination is
// evaluated on its twisted Edwards form 486664 x^2 + y^2 = 1 + 486660 x^2 y^2
// (x = u / v, y = (u - 1) / (u + 1)), whose addition law is complete: with a
// square and d not a square it has no exceptional cases, so doublings, the
// neutral point and points of small order need no special handling.

namespace {

const int32_t kMontgomeryA = 486662;
const int32_t kEdwardsA = 486664;
const int32_t kEdwardsD = 486660;

// v of the base point u = 9, little-endian (odd).
const uint8_t kBaseV[32] = {0xd9, 0xd3, 0xce, 0x7e, 0xa2, 0xc5, 0xe9, 0x29, 0xb2, 0x61, 0x7c,
                            0x6d, 0x7e, 0x4d, 0x3d, 0x92, 0x4c, 0xd1, 0x48, 0x77, 0x2c, 0xdd,
                            0x1e, 0xe0, 0xb4, 0x86, 0xa0, 0xb8, 0xa1, 0x19, 0xae, 0x20};

// Extended coordinates: x = X / Z, y = Y / Z, X Y = Z T.
struct EdwardsPoint {
  FieldElement x, y, z, t;
};

EdwardsPoint neutralPoint() { return {feFromInt(0), feFromInt(1), feFromInt(1), feFromInt(0)}; }

// (u, v) on the Montgomery curve, with v and u + 1 nonzero.
EdwardsPoint fromMontgomery(const FieldElement& u, const FieldElement& v) {
  const FieldElement one = feFromInt(1);
  const FieldElement uPlus = feAdd(u, one);
  const FieldElement uMinus = feSub(u, one);
  return {feMul(u, uPlus), feMul(uMinus, v), feMul(v, uPlus), feMul(u, uMinus)};
}

// u = (1 + y) / (1 - y); the neutral point (y = 1) gives 0.
FieldElement montgomeryU(const EdwardsPoint& p) {
  return feMul(feAdd(p.z, p.y), feInvert(feSub(p.z, p.y)));
}

EdwardsPoint add(const EdwardsPoint& p, const EdwardsPoint& q) {
  const FieldElement a = feMul(p.x, q.x);
  const FieldElement b = feMul(p.y, q.y);
  const FieldElement c = feMulSmall(feMul(p.t, q.t), kEdwardsD);
  const FieldElement d = feMul(p.z, q.z);
  const FieldElement e = feSub(feSub(feMul(feAdd(p.x, p.y), feAdd(q.x, q.y)), a), b);
  const FieldElement f = feSub(d, c);
  const FieldElement g = feAdd(d, c);
  const FieldElement h = feSub(b, feMulSmall(a, kEdwardsA));
  return {feMul(e, f), feMul(g, h), feMul(f, g), feMul(e, h)};
}

// A square root of a, when a is a square (p = 5 mod 8): with
// w = (2a)^((p - 5) / 8), i = 2a w^2 is a square root of -1 and a w (i - 1)
// is a root of a. The result is checked, since for a non-square it is not.
bool squareRoot(const FieldElement& a, FieldElement& root) {
  const FieldElement twoA = feAdd(a, a);
  const FieldElement w = fePow22523(twoA);
  const FieldElement i = feMul(twoA, feSquare(w));
  root = feMul(feMul(a, w), feSub(i, feFromInt(1)));
  return feEqual(feSquare(root), a);
}

// P0: the point with the given u whose v, fully reduced, is even.
bool evenPoint(const FieldElement& u, EdwardsPoint& point) {
  const FieldElement rhs =
      feMul(u, feAdd(feMul(u, feAdd(u, feFromInt(kMontgomeryA))), feFromInt(1)));
  FieldElement v;
  if (!squareRoot(rhs, v) || feIsZero(v)) return false;
  if (feIsZero(feAdd(u, feFromInt(1)))) return false;
  if (feIsOdd(v)) v = feNeg(v);
  point = fromMontgomery(u, v);
  return true;
}

int bitAt(const uint8_t number[32], int bit) { return (number[bit / 8] >> (bit % 8)) & 1; }

}  // namespace

LegacyPublicKey builtInLegacyKey() { return {legacyPublicKey, builtInPackageHashTable()}; }

bool legacySignatureValid(const uint8_t digest[32], const uint8_t signature[68]) {
  return legacySignatureValid(builtInLegacyKey(), digest, signature);
}

bool legacySignatureValid(const LegacyPublicKey& key, const uint8_t digest[32],
                          const uint8_t signature[68]) {
  const uint8_t* r = signature + 20;
  const uint8_t* s = signature + 36;
  // No signer makes an s this large.
  if (s[31] >= 0x40) return false;

  uint8_t k[32];
  legacyChallenge(key.hash, digest, r, k);
  uint8_t u[32];
  if (!legacyCombination(key.u, s, k, u)) return false;
  uint8_t check[32];
  customSha256(key.hash, u, sizeof u, check);
  return memcmp(check, r, 16) == 0;
}

void legacyChallenge(const PackageHashTable& hash, const uint8_t digest[32], const uint8_t r[16],
                     uint8_t k[32]) {
  customSha256(hash, digest, 20, k);
  for (int i = 0; i < 16; ++i) k[8 + i] ^= r[i];
  k[0] &= 0xf8;
  k[31] = (k[31] & 0x7f) | 0x40;
}

bool legacyCombination(const uint8_t publicKey[32], const uint8_t s[32], const uint8_t k[32],
                       uint8_t u[32]) {
  EdwardsPoint p0;
  if (!evenPoint(feFromBytes(publicKey), p0)) return false;
  const EdwardsPoint minusB = fromMontgomery(feFromInt(9), feNeg(feFromBytes(kBaseV)));

  // Joint double-and-add over the bits of s and k; the signature is public,
  // so the data-dependent additions leak nothing.
  const EdwardsPoint table[4] = {neutralPoint(), p0, minusB, add(p0, minusB)};
  EdwardsPoint sum = neutralPoint();
  for (int bit = 255; bit >= 0; --bit) {
    sum = add(sum, sum);
    const int index = bitAt(s, bit) | bitAt(k, bit) << 1;
    if (index) sum = add(sum, table[index]);
  }
  feToBytes(montgomeryU(sum), u);
  return true;
}
