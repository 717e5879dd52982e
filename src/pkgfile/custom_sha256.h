// The package hash: SHA-256 with its own round constants and initial words.
#pragma once

#include <cstddef>
#include <cstdint>

struct PackageHashTable {
  const uint32_t* roundConstants;  // 64 words
  const uint32_t* initialWords;    // 8 words
};

// The table compiled into the installer.
PackageHashTable builtInPackageHashTable();

// SHA-256 over message with the table's constants; out gets 32 bytes.
void customSha256(const PackageHashTable& table, const uint8_t* message, size_t length,
                  uint8_t out[32]);
// The same with the built-in table.
void customSha256(const uint8_t* message, size_t length, uint8_t out[32]);
