// Signing keys, read from a key file at run time.
//
// One item per line: a name, then its value in hexadecimal; lines starting
// with '#' and blank lines are skipped:
//   eddsa-seed, eddsa-public      Ed25519 seed and public key, 64 digits each
//   legacy-secret, legacy-public  scalar x and u([x]B), little-endian, 64 digits each
//   sha256-k, sha256-h            64 and 8 words of 8 digits: the package hash table
#pragma once

#include <cstdint>
#include <string>

#include "pkgfile/custom_sha256.h"

enum KeyItem : unsigned {
  KEY_EDDSA_SEED = 1,
  KEY_EDDSA_PUBLIC = 2,
  KEY_LEGACY_SECRET = 4,
  KEY_LEGACY_PUBLIC = 8,
  KEY_HASH_CONSTANTS = 16,
  KEY_HASH_INITIAL = 32,
  KEY_PUBLIC_ITEMS = KEY_EDDSA_PUBLIC | KEY_LEGACY_PUBLIC | KEY_HASH_CONSTANTS | KEY_HASH_INITIAL,
  KEY_ALL_ITEMS = KEY_PUBLIC_ITEMS | KEY_EDDSA_SEED | KEY_LEGACY_SECRET,
};

struct KeyFile {
  uint8_t eddsaSeed[32] = {0};
  uint8_t eddsaPublic[32] = {0};
  uint8_t legacySecret[32] = {0};
  uint8_t legacyPublic[32] = {0};
  uint32_t hashRoundConstants[64] = {0};
  uint32_t hashInitialWords[8] = {0};
  unsigned present = 0;  // KeyItem bits of the items read

  PackageHashTable hashTable() const { return {hashRoundConstants, hashInitialWords}; }
};

// Reads the key file at path; every item in required must be there. When a
// file holds both halves of a key pair, the public half must belong to the
// private one. On failure error names the file and the item.
bool readKeyFile(const std::string& path, KeyFile& keys, std::string& error,
                 unsigned required = KEY_ALL_ITEMS);
