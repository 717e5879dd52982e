// Ed25519 signing of package digests.
#pragma once

#include <cstdint>

// Signs the 32-byte digest buffer with the key of the 32-byte seed.
bool eddsaSign(const uint8_t seed[32], const uint8_t digest[32], uint8_t signature[64]);
// The public key of the seed.
bool eddsaPublicKey(const uint8_t seed[32], uint8_t publicKey[32]);
