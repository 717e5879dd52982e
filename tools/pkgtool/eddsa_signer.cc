#include "eddsa_signer.h"

#include <openssl/evp.h>

namespace {

EVP_PKEY* keyFromSeed(const uint8_t seed[32]) {
  return EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32);
}

}  // namespace

bool eddsaSign(const uint8_t seed[32], const uint8_t digest[32], uint8_t signature[64]) {
  EVP_PKEY* key = keyFromSeed(seed);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  size_t length = 64;
  const bool ok = key && ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key) == 1 &&
                  EVP_DigestSign(ctx, signature, &length, digest, 32) == 1 && length == 64;
  EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(key);
  return ok;
}

bool eddsaPublicKey(const uint8_t seed[32], uint8_t publicKey[32]) {
  EVP_PKEY* key = keyFromSeed(seed);
  size_t length = 32;
  const bool ok = key && EVP_PKEY_get_raw_public_key(key, publicKey, &length) == 1 && length == 32;
  EVP_PKEY_free(key);
  return ok;
}
