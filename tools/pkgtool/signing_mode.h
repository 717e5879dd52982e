// How a package is signed.
#pragma once

#include <string>

enum class SigningMode { None, Legacy, Eddsa, Both };

// "none", "legacy", "eddsa", "both".
bool parseSigningMode(const std::string& text, SigningMode& mode);
const char* signingModeName(SigningMode mode);
// Bytes of the Signature part: 0 for none (no part is written).
size_t signatureSize(SigningMode mode);
