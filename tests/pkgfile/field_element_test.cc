#include "pkgfile/field_element.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pkgfile/mod_p.h"

namespace {

Bytes32 bytesOf(const FieldElement& f) {
  Bytes32 out;
  feToBytes(f, out.data());
  return out;
}

// Random values below 2^255, and those around 0, p and 2^255 where
// reduction goes wrong first.
std::vector<Bytes32> sampleValues() {
  const auto value = [](uint8_t low, uint8_t middle, uint8_t high) {
    Bytes32 v;
    v.fill(middle);
    v[0] = low;
    v[31] = high;
    return v;
  };
  std::vector<Bytes32> values = {value(0, 0, 0),          value(1, 0, 0),
                                 value(0xec, 0xff, 0x7f),  // p - 1
                                 value(0xed, 0xff, 0x7f),  // p
                                 value(0xee, 0xff, 0x7f),  // p + 1
                                 value(0xff, 0xff, 0x7f)};  // 2^255 - 1
  std::mt19937 random(25519);
  for (int i = 0; i < 60; ++i) {
    Bytes32 v;
    for (uint8_t& b : v) b = static_cast<uint8_t>(random());
    v[31] &= 0x7f;
    values.push_back(v);
  }
  return values;
}

TEST(FieldElement, MatchesBignum) {
  const Num exponent = (Num(0) - Num(5)) / Num(8);  // the residue of -5/8 is (p - 5) / 8
  const std::vector<Bytes32> values = sampleValues();
  for (size_t i = 0; i < values.size(); ++i) {
    const Bytes32& a = values[i];
    const Bytes32& b = values[(i * 7 + 3) % values.size()];
    const FieldElement fa = feFromBytes(a.data()), fb = feFromBytes(b.data());
    const Num x = Num::fromBytes(a), y = Num::fromBytes(b);
    EXPECT_EQ(x.bytes(), bytesOf(fa)) << i;
    EXPECT_EQ((x + y).bytes(), bytesOf(feAdd(fa, fb))) << i;
    EXPECT_EQ((x - y).bytes(), bytesOf(feSub(fa, fb))) << i;
    EXPECT_EQ((Num(0) - x).bytes(), bytesOf(feNeg(fa))) << i;
    EXPECT_EQ((x * y).bytes(), bytesOf(feMul(fa, fb))) << i;
    EXPECT_EQ((x * x).bytes(), bytesOf(feSquare(fa))) << i;
    EXPECT_EQ((x * Num(486662)).bytes(), bytesOf(feMulSmall(fa, 486662))) << i;
    EXPECT_EQ((x.isZero() ? x : Num(1) / x).bytes(), bytesOf(feInvert(fa))) << i;
    EXPECT_EQ(x.power(exponent).bytes(), bytesOf(fePow22523(fa))) << i;
    EXPECT_EQ(x.isOdd(), feIsOdd(fa)) << i;
    EXPECT_EQ(x.isZero(), feIsZero(fa)) << i;
    EXPECT_TRUE(feEqual(fa, feFromBytes(x.bytes().data()))) << i;  // p and 0 alike
    EXPECT_FALSE(feEqual(fa, feAdd(fa, feFromInt(1)))) << i;
  }
  // Bit 255 is not part of the number.
  Bytes32 high = values.back();
  high[31] |= 0x80;
  EXPECT_EQ(bytesOf(feFromBytes(values.back().data())), bytesOf(feFromBytes(high.data())));
}

}  // namespace
