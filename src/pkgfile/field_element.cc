#include "pkgfile/field_element.h"

#include <cstring>

namespace {

const int kLimbs = 10;

int limbWidth(int i) { return (i & 1) ? 25 : 26; }

// Round-to-nearest carry through all limbs, the top one wrapping into limb 0
// as 2^255 = 19. Accepts limbs up to about 2^62 in magnitude.
FieldElement carry(int64_t h[kLimbs]) {
  for (int i = 0; i < kLimbs; ++i) {
    const int width = limbWidth(i);
    const int64_t c = (h[i] + (int64_t(1) << (width - 1))) >> width;
    h[i] -= c * (int64_t(1) << width);
    if (i + 1 < kLimbs)
      h[i + 1] += c;
    else
      h[0] += 19 * c;
  }
  const int64_t c = (h[0] + (int64_t(1) << 25)) >> 26;
  h[0] -= c * (int64_t(1) << 26);
  h[1] += c;

  FieldElement f;
  for (int i = 0; i < kLimbs; ++i) f.limb[i] = static_cast<int32_t>(h[i]);
  return f;
}

// Limbs in [0, 2^width) holding the value reduced into [0, p).
void reduceFully(const FieldElement& f, int32_t h[kLimbs]) {
  memcpy(h, f.limb, sizeof f.limb);
  // q is 1 when the value is at least p, 0 otherwise.
  int32_t q = (19 * h[9] + (int32_t(1) << 24)) >> 25;
  for (int i = 0; i < kLimbs; ++i) q = (h[i] + q) >> limbWidth(i);
  h[0] += 19 * q;
  for (int i = 0; i + 1 < kLimbs; ++i) {
    const int32_t c = h[i] >> limbWidth(i);
    h[i + 1] += c;
    h[i] -= c * (int32_t(1) << limbWidth(i));
  }
  h[9] &= (int32_t(1) << 25) - 1;  // drops q * 2^255
}

// f^e for an exponent given as 32 little-endian bytes.
FieldElement power(const FieldElement& f, const uint8_t exponent[32]) {
  FieldElement result = feFromInt(1);
  for (int bit = 255; bit >= 0; --bit) {
    result = feSquare(result);
    if ((exponent[bit / 8] >> (bit % 8)) & 1) result = feMul(result, f);
  }
  return result;
}

}  // namespace

FieldElement feFromInt(uint32_t value) {
  int64_t h[kLimbs] = {static_cast<int64_t>(value)};
  return carry(h);
}

FieldElement feFromBytes(const uint8_t in[32]) {
  int64_t h[kLimbs];
  uint64_t acc = 0;
  int bits = 0;
  int next = 0;
  for (int i = 0; i < kLimbs; ++i) {
    const int width = limbWidth(i);
    while (bits < width) {
      acc |= static_cast<uint64_t>(in[next++]) << bits;
      bits += 8;
    }
    h[i] = static_cast<int64_t>(acc & ((uint64_t(1) << width) - 1));
    acc >>= width;
    bits -= width;
  }
  return carry(h);
}

void feToBytes(const FieldElement& f, uint8_t out[32]) {
  int32_t h[kLimbs];
  reduceFully(f, h);
  uint64_t acc = 0;
  int bits = 0;
  int next = 0;
  for (int i = 0; i < kLimbs; ++i) {
    acc |= static_cast<uint64_t>(h[i]) << bits;
    bits += limbWidth(i);
    while (bits >= 8) {
      out[next++] = static_cast<uint8_t>(acc);
      acc >>= 8;
      bits -= 8;
    }
  }
  out[next] = static_cast<uint8_t>(acc);  // the last 7 bits
}

FieldElement feAdd(const FieldElement& f, const FieldElement& g) {
  int64_t h[kLimbs];
  for (int i = 0; i < kLimbs; ++i) h[i] = int64_t(f.limb[i]) + g.limb[i];
  return carry(h);
}

FieldElement feSub(const FieldElement& f, const FieldElement& g) {
  int64_t h[kLimbs];
  for (int i = 0; i < kLimbs; ++i) h[i] = int64_t(f.limb[i]) - g.limb[i];
  return carry(h);
}

FieldElement feNeg(const FieldElement& f) {
  int64_t h[kLimbs];
  for (int i = 0; i < kLimbs; ++i) h[i] = -int64_t(f.limb[i]);
  return carry(h);
}

// Limb i times limb j lands in limb i + j; it counts twice when both are odd
// (their weights round up twice), and 19 times when it passes 2^255.
FieldElement feMul(const FieldElement& f, const FieldElement& g) {
  int64_t h[kLimbs] = {0};
  for (int i = 0; i < kLimbs; ++i) {
    for (int j = 0; j < kLimbs; ++j) {
      int64_t term = int64_t(f.limb[i]) * g.limb[j];
      if ((i & 1) && (j & 1)) term *= 2;
      if (i + j >= kLimbs) term *= 19;
      h[(i + j) % kLimbs] += term;
    }
  }
  return carry(h);
}

FieldElement feSquare(const FieldElement& f) { return feMul(f, f); }

FieldElement feMulSmall(const FieldElement& f, int32_t c) {
  int64_t h[kLimbs];
  for (int i = 0; i < kLimbs; ++i) h[i] = int64_t(f.limb[i]) * c;
  return carry(h);
}

FieldElement feInvert(const FieldElement& f) {
  // p - 2 = 2^255 - 21
  uint8_t exponent[32];
  memset(exponent, 0xff, sizeof exponent);
  exponent[0] = 0xeb;
  exponent[31] = 0x7f;
  return power(f, exponent);
}

FieldElement fePow22523(const FieldElement& f) {
  // (p - 5) / 8 = 2^252 - 3
  uint8_t exponent[32];
  memset(exponent, 0xff, sizeof exponent);
  exponent[0] = 0xfd;
  exponent[31] = 0x0f;
  return power(f, exponent);
}

bool feIsZero(const FieldElement& f) {
  uint8_t bytes[32];
  feToBytes(f, bytes);
  uint8_t any = 0;
  for (uint8_t b : bytes) any |= b;
  return any == 0;
}

bool feIsOdd(const FieldElement& f) {
  uint8_t bytes[32];
  feToBytes(f, bytes);
  return bytes[0] & 1;
}

bool feEqual(const FieldElement& f, const FieldElement& g) { return feIsZero(feSub(f, g)); }
