// Ed25519 signature verification over libcrypto.
#pragma once

#include <cstdint>

namespace asn1 {
// A run of bytes: the first byte and one past the last.
struct blob {
  const uint8_t* first;
  const uint8_t* last;
};
}  // namespace asn1

namespace eddsa {
// Nonzero when signature is a valid Ed25519 signature of message under key.
int verify(asn1::blob key, asn1::blob message, asn1::blob signature);
}  // namespace eddsa
