// The data of a package's Signature part.
#pragma once

#include <cstdint>
#include <vector>

#include "key_file.h"

// Signs the 32-byte digest buffer: the legacy signature (68 bytes), followed,
// when withEddsa, by the Ed25519 signature of the whole buffer (64 bytes).
// Needs the private items of keys and its package hash table.
bool makeSignaturePart(const KeyFile& keys, const uint8_t digest[32], bool withEddsa,
                       std::vector<uint8_t>& part);
