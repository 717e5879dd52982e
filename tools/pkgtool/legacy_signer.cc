#include "legacy_signer.h"

#include <cstring>
#include <memory>

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/rand.h>

#include "pkgfile/legacy_signature.h"

// The point arithmetic is libcrypto's: Curve25519, v^2 = u^3 + A u^2 + u,
// is the short Weierstrass curve y^2 = x^3 + a x + b with x = u + A/3, y = v,
// a = 1 - A^2/3 and b = 2 A^3/27 - A/3, and libcrypto multiplies points of a
// curve given that way without leaking the scalar through timing.

namespace {

const char kPrime[] = "7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed";
// The order l of the base point, and the base point's v.
const char kOrder[] = "1000000000000000000000000000000014def9dea2f79cd65812631a5cf5d3ed";
const char kBaseV[] = "20ae19a1b8a086b4e01edd2c7748d14c923d4d7e6d7c61b229e9c5a27eced3d9";
const unsigned kMontgomeryA = 486662;

struct BnDelete {
  void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
struct CtxDelete {
  void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
struct GroupDelete {
  void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};
struct PointDelete {
  void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
using Bn = std::unique_ptr<BIGNUM, BnDelete>;

Bn newBn() { return Bn(BN_new()); }

Bn fromHex(const char* hex) {
  BIGNUM* b = nullptr;
  BN_hex2bn(&b, hex);
  return Bn(b);
}

Bn fromLittleEndian(const uint8_t bytes[32]) { return Bn(BN_lebin2bn(bytes, 32, nullptr)); }

bool toLittleEndian(const BIGNUM* b, uint8_t bytes[32]) { return BN_bn2lebinpad(b, bytes, 32) == 32; }

class Curve25519 {
 public:
  bool init();
  // u and v of [n]B, reduced modulo p.
  bool multiplyBase(const BIGNUM* n, BIGNUM* u, BIGNUM* v);
  const BIGNUM* order() const { return order_.get(); }
  BN_CTX* ctx() { return ctx_.get(); }

 private:
  bool initConstants();

  std::unique_ptr<BN_CTX, CtxDelete> ctx_{BN_CTX_new()};
  std::unique_ptr<EC_GROUP, GroupDelete> group_;
  Bn p_ = fromHex(kPrime);
  Bn order_ = fromHex(kOrder);
  Bn shift_ = newBn();  // A/3
  Bn a_ = newBn();
  Bn b_ = newBn();
};

bool Curve25519::initConstants() {
  BN_CTX* c = ctx_.get();
  Bn three = newBn(), third = newBn(), bigA = newBn(), t = newBn();
  if (!c || !p_ || !order_ || !shift_ || !a_ || !b_ || !three || !third || !bigA || !t)
    return false;
  // a = 1 - A * (A/3); b = (A/3) * (2 (A/3)^2 - 1)
  return BN_set_word(three.get(), 3) && BN_set_word(bigA.get(), kMontgomeryA) &&
         BN_mod_inverse(third.get(), three.get(), p_.get(), c) &&
         BN_mod_mul(shift_.get(), bigA.get(), third.get(), p_.get(), c) &&
         BN_mod_mul(t.get(), bigA.get(), shift_.get(), p_.get(), c) &&
         BN_mod_sub(a_.get(), BN_value_one(), t.get(), p_.get(), c) &&
         BN_mod_sqr(t.get(), shift_.get(), p_.get(), c) &&
         BN_mod_lshift1(t.get(), t.get(), p_.get(), c) &&
         BN_mod_sub(t.get(), t.get(), BN_value_one(), p_.get(), c) &&
         BN_mod_mul(b_.get(), t.get(), shift_.get(), p_.get(), c);
}

bool Curve25519::init() {
  if (!initConstants()) return false;
  BN_CTX* c = ctx_.get();
  group_.reset(EC_GROUP_new_curve_GFp(p_.get(), a_.get(), b_.get(), c));
  if (!group_) return false;
  std::unique_ptr<EC_POINT, PointDelete> base(EC_POINT_new(group_.get()));
  Bn x = newBn(), y = fromHex(kBaseV), cofactor = newBn();
  return base && x && y && cofactor && BN_set_word(x.get(), 9) &&
         BN_mod_add(x.get(), x.get(), shift_.get(), p_.get(), c) &&
         EC_POINT_set_affine_coordinates(group_.get(), base.get(), x.get(), y.get(), c) &&
         BN_set_word(cofactor.get(), 8) &&
         EC_GROUP_set_generator(group_.get(), base.get(), order_.get(), cofactor.get());
}

bool Curve25519::multiplyBase(const BIGNUM* n, BIGNUM* u, BIGNUM* v) {
  BN_CTX* c = ctx_.get();
  std::unique_ptr<EC_POINT, PointDelete> point(EC_POINT_new(group_.get()));
  return point && EC_POINT_mul(group_.get(), point.get(), n, nullptr, nullptr, c) &&
         !EC_POINT_is_at_infinity(group_.get(), point.get()) &&
         EC_POINT_get_affine_coordinates(group_.get(), point.get(), u, v, c) &&
         BN_mod_sub(u, u, shift_.get(), p_.get(), c);
}

// A secret scalar in [0, l): the little-endian number modulo l.
Bn secretScalar(Curve25519& curve, const uint8_t bytes[32]) {
  Bn n = fromLittleEndian(bytes);
  if (!n) return n;
  BN_set_flags(n.get(), BN_FLG_CONSTTIME);
  if (!BN_nnmod(n.get(), n.get(), curve.order(), curve.ctx())) n.reset();
  return n;
}

// A uniform nonzero nonce modulo l, from 512 random bits.
Bn randomScalar(Curve25519& curve) {
  uint8_t bytes[64];
  Bn t = newBn();
  while (t) {
    if (RAND_priv_bytes(bytes, sizeof bytes) != 1 || !BN_lebin2bn(bytes, sizeof bytes, t.get()) ||
        !BN_nnmod(t.get(), t.get(), curve.order(), curve.ctx()))
      t.reset();
    else if (!BN_is_zero(t.get()))
      break;
  }
  OPENSSL_cleanse(bytes, sizeof bytes);
  if (t) BN_set_flags(t.get(), BN_FLG_CONSTTIME);
  return t;
}

// The multiplier of B that gives P0, the point of the key whose v is even:
// x itself when [x]B has an even v, -x otherwise.
bool evenPointScalar(Curve25519& curve, BIGNUM* x) {
  Bn u = newBn(), v = newBn();
  if (!u || !v || BN_is_zero(x) || !curve.multiplyBase(x, u.get(), v.get())) return false;
  return !BN_is_odd(v.get()) || BN_sub(x, curve.order(), x);
}

// r: the first 16 bytes of the package hash of u([t]B).
bool commitment(Curve25519& curve, const PackageHashTable& hash, const BIGNUM* t, uint8_t r[16]) {
  Bn u = newBn(), v = newBn();
  uint8_t encoded[32], h[32];
  if (!u || !v || !curve.multiplyBase(t, u.get(), v.get()) || !toLittleEndian(u.get(), encoded))
    return false;
  customSha256(hash, encoded, sizeof encoded, h);
  memcpy(r, h, 16);
  return true;
}

// s = (k + t) / x modulo l, so that [s]P0 - [k]B = [t]B.
bool response(Curve25519& curve, const uint8_t k[32], const BIGNUM* t, const BIGNUM* x,
              uint8_t s[32]) {
  BN_CTX* c = curve.ctx();
  Bn sum = fromLittleEndian(k), inverse = newBn();
  if (!sum || !inverse) return false;
  BN_set_flags(sum.get(), BN_FLG_CONSTTIME);
  return BN_mod_add(sum.get(), sum.get(), t, curve.order(), c) &&
         BN_mod_inverse(inverse.get(), x, curve.order(), c) &&
         BN_mod_mul(sum.get(), sum.get(), inverse.get(), curve.order(), c) &&
         toLittleEndian(sum.get(), s);
}

}  // namespace

bool legacySign(const uint8_t secret[32], const PackageHashTable& hash, const uint8_t digest[32],
                uint8_t signature[68]) {
  Curve25519 curve;
  if (!curve.init()) return false;
  Bn x = secretScalar(curve, secret);
  if (!x || !evenPointScalar(curve, x.get())) return false;
  Bn t = randomScalar(curve);
  if (!t) return false;

  uint8_t out[68] = {0};
  uint8_t* r = out + 20;
  uint8_t* s = out + 36;
  uint8_t k[32];
  if (!commitment(curve, hash, t.get(), r)) return false;
  legacyChallenge(hash, digest, r, k);
  if (!response(curve, k, t.get(), x.get(), s)) return false;
  memcpy(signature, out, sizeof out);
  return true;
}

bool legacyPublicKey(const uint8_t secret[32], uint8_t publicKey[32]) {
  Curve25519 curve;
  if (!curve.init()) return false;
  Bn x = secretScalar(curve, secret);
  Bn u = newBn(), v = newBn();
  return x && u && v && !BN_is_zero(x.get()) && curve.multiplyBase(x.get(), u.get(), v.get()) &&
         toLittleEndian(u.get(), publicKey);
}
