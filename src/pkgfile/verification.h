// Package signatures: the level a package's signature must reach, and the
// level that a Signature part reaches for a given digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pkg/package.h"

constexpr int SIGNATURE_NONE = 0;
constexpr int SIGNATURE_LEGACY = 1;
constexpr int SIGNATURE_EDDSA = 2;

// 1 (legacy signature suffices) or 2 (EdDSA signature needed). The marker
// /ram/SECURE demands 2 of every package.
int requiredSignatureLevel(const std::string& name, Version version);

// Checks the first length bytes of a Signature part (68, or 132 when the
// EdDSA signature is present) against the 32-byte digest buffer: 2 when the
// EdDSA signature is valid, else 1 when the legacy one is, else 0.
int signatureLevel(const uint8_t digest[32], const uint8_t* signature, size_t length);
