#include "pkgfile/custom_sha256.h"

#include <cstring>

#include "pkgfile/built_in_keys.h"

namespace {

const size_t kBlockSize = 64;

uint32_t rotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

uint32_t loadBigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void storeBigEndian(uint32_t x, uint8_t* p) {
  p[0] = static_cast<uint8_t>(x >> 24);
  p[1] = static_cast<uint8_t>(x >> 16);
  p[2] = static_cast<uint8_t>(x >> 8);
  p[3] = static_cast<uint8_t>(x);
}

void compress(const uint32_t k[64], uint32_t state[8], const uint8_t block[kBlockSize]) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = loadBigEndian(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }

  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
    const uint32_t choice = (e & f) ^ (~e & g);
    const uint32_t t1 = h + s1 + choice + k[i] + w[i];
    const uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
    const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    const uint32_t t2 = s0 + majority;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

}  // namespace

PackageHashTable builtInPackageHashTable() {
  return PackageHashTable{packageHashRoundConstants, packageHashInitialWords};
}

void customSha256(const PackageHashTable& table, const uint8_t* message, size_t length,
                  uint8_t out[32]) {
  uint32_t state[8];
  memcpy(state, table.initialWords, sizeof state);

  size_t done = 0;
  for (; length - done >= kBlockSize; done += kBlockSize)
    compress(table.roundConstants, state, message + done);

  // The tail, 0x80, zeros and the bit count as a 64-bit big-endian number
  // fill one block, or two when fewer than 9 bytes are left after the tail.
  uint8_t last[2 * kBlockSize] = {0};
  const size_t tail = length - done;
  if (tail) memcpy(last, message + done, tail);
  last[tail] = 0x80;
  const size_t padded = tail + 9 <= kBlockSize ? kBlockSize : 2 * kBlockSize;
  const uint64_t bits = static_cast<uint64_t>(length) * 8;
  storeBigEndian(static_cast<uint32_t>(bits >> 32), last + padded - 8);
  storeBigEndian(static_cast<uint32_t>(bits), last + padded - 4);
  for (size_t offset = 0; offset < padded; offset += kBlockSize)
    compress(table.roundConstants, state, last + offset);

  for (int i = 0; i < 8; ++i) storeBigEndian(state[i], out + 4 * i);
}

void customSha256(const uint8_t* message, size_t length, uint8_t out[32]) {
  customSha256(builtInPackageHashTable(), message, length, out);
}
