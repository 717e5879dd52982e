// Arithmetic modulo p = 2^255 - 19 in ten signed limbs of alternately 26 and
// 25 bits (radix 2^25.5): limb i weighs 2^ceil(25.5 * i).
//
// Every operation returns its result carried, with each limb back within a
// little over its nominal width, so results can be fed to any other operation.
#pragma once

#include <cstdint>

struct FieldElement {
  int32_t limb[10];
};

FieldElement feFromInt(uint32_t value);
// Little-endian; bit 255 is ignored.
FieldElement feFromBytes(const uint8_t in[32]);
// Little-endian, fully reduced modulo p.
void feToBytes(const FieldElement& f, uint8_t out[32]);

FieldElement feAdd(const FieldElement& f, const FieldElement& g);
FieldElement feSub(const FieldElement& f, const FieldElement& g);
FieldElement feNeg(const FieldElement& f);
FieldElement feMul(const FieldElement& f, const FieldElement& g);
FieldElement feSquare(const FieldElement& f);
// c below 2^24.
FieldElement feMulSmall(const FieldElement& f, int32_t c);
// f^(p - 2): the inverse of f, and 0 for 0.
FieldElement feInvert(const FieldElement& f);
// f^((p - 5) / 8), the power behind square roots for p = 5 (mod 8).
FieldElement fePow22523(const FieldElement& f);

bool feIsZero(const FieldElement& f);
// Of the fully reduced value.
bool feIsOdd(const FieldElement& f);
bool feEqual(const FieldElement& f, const FieldElement& g);
