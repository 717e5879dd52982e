#include "pkgfile/field_element.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace {

using Bytes32 = std::array<uint8_t, 32>;

Bytes32 bytesOf(const FieldElement& f) {
  Bytes32 out;
  feToBytes(f, out.data());
  return out;
}

FieldElement fe(const Bytes32& bytes) { return feFromBytes(bytes.data()); }

// The lowest byte, every byte between and the top byte.
Bytes32 value(uint8_t low, uint8_t middle = 0, uint8_t high = 0) {
  Bytes32 v;
  v.fill(middle);
  v[0] = low;
  v[31] = high;
  return v;
}

const Bytes32 kPMinus1 = value(0xec, 0xff, 0x7f), kP = value(0xed, 0xff, 0x7f);

// Around p and 2^255, where reduction goes wrong first (bit 255 is no part
// of the number), and products that wrap past 2^255.
TEST(FieldElement, ReducesFully) {
  EXPECT_EQ(kPMinus1, bytesOf(fe(kPMinus1)));
  EXPECT_EQ(value(0), bytesOf(fe(kP)));
  EXPECT_EQ(value(1), bytesOf(fe(value(0xee, 0xff, 0x7f))));
  EXPECT_EQ(value(18), bytesOf(fe(value(0xff, 0xff, 0x7f))));
  EXPECT_EQ(value(18), bytesOf(fe(value(0xff, 0xff, 0xff))));
  EXPECT_EQ(value(1), bytesOf(feMul(fe(kPMinus1), fe(kPMinus1))));
  EXPECT_EQ(value(1), bytesOf(feSquare(fe(kPMinus1))));
  EXPECT_EQ(value(38), bytesOf(feMulSmall(fe(value(0, 0, 0x40)), 4)));  // 2^256
  EXPECT_EQ(kPMinus1, bytesOf(feNeg(feFromInt(1))));
}

// Random values, and 0, 1, p - 1 and p, hold to the laws of the field.
TEST(FieldElement, FieldLaws) {
  std::vector<FieldElement> values = {feFromInt(0), feFromInt(1), fe(kPMinus1), fe(kP)};
  std::mt19937 random(25519);
  for (int i = 0; i < 60; ++i) {
    Bytes32 v;
    for (uint8_t& b : v) b = static_cast<uint8_t>(random());
    values.push_back(fe(v));
  }
  const FieldElement zero = feFromInt(0), one = feFromInt(1);
  for (size_t i = 0; i < values.size(); ++i) {
    const FieldElement &a = values[i], &b = values[(i * 7 + 3) % values.size()], &c = values[(i * 13 + 5) % values.size()];
    const Bytes32 bytes = bytesOf(a);
    EXPECT_EQ(bytes, bytesOf(feSub(feAdd(a, b), b))) << i;
    EXPECT_EQ(bytesOf(zero), bytesOf(feAdd(a, feNeg(a)))) << i;
    EXPECT_EQ(bytesOf(feMul(a, b)), bytesOf(feMul(b, a))) << i;
    EXPECT_EQ(bytesOf(feMul(a, feAdd(b, c))), bytesOf(feAdd(feMul(a, b), feMul(a, c)))) << i;
    EXPECT_EQ(bytesOf(feMul(a, a)), bytesOf(feSquare(a))) << i;
    EXPECT_EQ(bytesOf(feMul(a, feFromInt(486662))), bytesOf(feMulSmall(a, 486662))) << i;
    EXPECT_EQ(bytesOf(feIsZero(a) ? zero : one), bytesOf(feMul(a, feInvert(a)))) << i;
    // (a^((p - 5) / 8))^8 a^5 = a^p = a
    const FieldElement w = feSquare(feSquare(feSquare(fePow22523(a))));
    EXPECT_EQ(bytes, bytesOf(feMul(w, feMul(feSquare(feSquare(a)), a)))) << i;
    EXPECT_EQ(bool(bytes[0] & 1), feIsOdd(a)) << i;
    EXPECT_EQ(bytes == value(0), feIsZero(a)) << i;
    EXPECT_TRUE(feEqual(a, fe(bytes))) << i;
    EXPECT_FALSE(feEqual(a, feAdd(a, one))) << i;
  }
}

}  // namespace
