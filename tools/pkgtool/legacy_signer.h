// Signing with the older Curve25519 signature.
#pragma once

#include <cstdint>

#include "pkgfile/custom_sha256.h"

// The first 68 bytes of a Signature part for the digest buffer: 20 zero
// bytes, r (16 bytes), s (32 bytes, little-endian). secret is the scalar x
// (little-endian) whose [x]B has the public u-coordinate.
bool legacySign(const uint8_t secret[32], const PackageHashTable& hash, const uint8_t digest[32],
                uint8_t signature[68]);
// u([x]B), little-endian.
bool legacyPublicKey(const uint8_t secret[32], uint8_t publicKey[32]);
