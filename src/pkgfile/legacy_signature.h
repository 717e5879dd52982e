// The older package signature on Curve25519.
//
// The signature (r, s) is valid for a digest when the first 16 bytes of the
// package hash of u([s]P0 - [k]B) equal r, where B is the base point
// (u = 9), P0 is the point of the public key whose v is even, and k is
// derived from the digest and r by legacyChallenge.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pkgfile/custom_sha256.h"

struct LegacyPublicKey {
  const uint8_t* u;  // 32 bytes: u-coordinate on Curve25519, little-endian
  PackageHashTable hash;
};

// The legacy key and package hash table compiled into the installer.
LegacyPublicKey builtInLegacyKey();

// Checks the first 68 bytes of a Signature part (r at 20..35, s at 36..67)
// against the first 20 bytes of the digest, with the built-in legacy key.
bool legacySignatureValid(const uint8_t digest[32], const uint8_t signature[68]);
// The same with the given key.
bool legacySignatureValid(const LegacyPublicKey& key, const uint8_t digest[32],
                          const uint8_t signature[68]);

// k: the package hash of the first 20 bytes of the digest, r mixed into its
// bytes 8..23, clamped (low 3 bits clear, bit 255 clear, bit 254 set);
// 32 bytes, little-endian.
void legacyChallenge(const PackageHashTable& hash, const uint8_t digest[32], const uint8_t r[16],
                     uint8_t k[32]);

// u([s]P0 - [k]B), fully reduced, 32 bytes little-endian; u of the neutral
// point is 0. s and k are 256-bit little-endian numbers. False when the
// public key is not the u-coordinate of a curve point, or is 0 (the point of
// order 2).
bool legacyCombination(const uint8_t publicKey[32], const uint8_t s[32], const uint8_t k[32],
                       uint8_t u[32]);
