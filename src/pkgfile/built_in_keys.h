// Verification data compiled into the installer from the build's key file:
// only the public items ever enter it.
#pragma once

#include <cstdint>

extern const uint8_t eddsaPublicKey[32];
extern const uint8_t legacyPublicKey[32];  // u-coordinate on Curve25519, little-endian
extern const uint32_t packageHashRoundConstants[64];
extern const uint32_t packageHashInitialWords[8];
