#include "pkgfile/field_element.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const FieldElement& f) {
  Bytes out(32);
  feToBytes(f, out.data());
  return out;
}

// op (r, a, b, p, ctx) on BIGNUMs; the result as 32 little-endian bytes.
template <typename Op>
Bytes reference(const Bytes& a, const Bytes& b, Op op) {
  static BN_CTX* ctx = BN_CTX_new();
  BIGNUM* p = nullptr;
  BN_hex2bn(&p, "7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed");
  BIGNUM* x = BN_lebin2bn(a.data(), 32, nullptr);
  BIGNUM* y = BN_lebin2bn(b.data(), 32, nullptr);
  BIGNUM* r = BN_new();
  BN_nnmod(x, x, p, ctx);
  BN_nnmod(y, y, p, ctx);
  op(r, x, y, p, ctx);
  Bytes out(32);
  BN_bn2lebinpad(r, out.data(), 32);
  for (BIGNUM* n : {p, x, y, r}) BN_free(n);
  return out;
}

// Random values below 2^255, and those around 0, p and 2^255 where
// reduction goes wrong first.
std::vector<Bytes> sampleValues() {
  const auto value = [](uint8_t low, uint8_t middle, uint8_t high) {
    Bytes v(32, middle);
    v[0] = low;
    v[31] = high;
    return v;
  };
  std::vector<Bytes> values = {value(0, 0, 0),          value(1, 0, 0),
                               value(0xec, 0xff, 0x7f),  // p - 1
                               value(0xed, 0xff, 0x7f),  // p
                               value(0xee, 0xff, 0x7f),  // p + 1
                               value(0xff, 0xff, 0x7f)};  // 2^255 - 1
  std::mt19937 random(25519);
  for (int i = 0; i < 60; ++i) {
    Bytes v(32);
    for (uint8_t& b : v) b = static_cast<uint8_t>(random());
    v[31] &= 0x7f;
    values.push_back(v);
  }
  return values;
}

TEST(FieldElement, MatchesBignum) {
  const auto keep = [](BIGNUM* r, BIGNUM* x, BIGNUM*, const BIGNUM*, BN_CTX*) { BN_copy(r, x); };
  const auto pow22523 = [](BIGNUM* r, BIGNUM* x, BIGNUM*, const BIGNUM* p, BN_CTX* c) {
    BIGNUM* e = BN_new();
    BN_set_bit(e, 252);
    BN_sub_word(e, 3);  // (p - 5) / 8
    BN_mod_exp(r, x, e, p, c);
    BN_free(e);
  };
  const std::vector<Bytes> values = sampleValues();
  for (size_t i = 0; i < values.size(); ++i) {
    const Bytes& a = values[i];
    const Bytes& b = values[(i * 7 + 3) % values.size()];
    const FieldElement fa = feFromBytes(a.data()), fb = feFromBytes(b.data());
    EXPECT_EQ(reference(a, b, keep), bytesOf(fa)) << i;
    EXPECT_EQ(reference(a, b, BN_mod_add), bytesOf(feAdd(fa, fb))) << i;
    EXPECT_EQ(reference(a, b, BN_mod_sub), bytesOf(feSub(fa, fb))) << i;
    EXPECT_EQ(reference(a, b, BN_mod_mul), bytesOf(feMul(fa, fb))) << i;
    EXPECT_EQ(reference(a, a, BN_mod_mul), bytesOf(feSquare(fa))) << i;
    EXPECT_EQ(reference(a, a, pow22523), bytesOf(fePow22523(fa))) << i;
    EXPECT_EQ(bytesOf(feSub(feFromInt(0), fa)), bytesOf(feNeg(fa))) << i;
    EXPECT_EQ(bytesOf(feMul(fa, feFromInt(486662))), bytesOf(feMulSmall(fa, 486662))) << i;
    EXPECT_TRUE(feIsZero(fa) ? feIsZero(feInvert(fa)) : feEqual(feMul(fa, feInvert(fa)), feFromInt(1)))
        << i;
    EXPECT_EQ(reference(a, b, keep)[0] & 1, feIsOdd(fa)) << i;
  }
  // Bit 255 is not part of the number.
  Bytes high = values.back();
  high[31] |= 0x80;
  EXPECT_EQ(bytesOf(feFromBytes(values.back().data())), bytesOf(feFromBytes(high.data())));
}

}  // namespace
