// Signing the packages of a file once it is written. The digest that the
// installer checks at a Signature part covers the bytes from the package's
// header part (inclusive) to the end of the Signature part's own header:
// SHA-256 when a part of type 25 came earlier in the file (from that part
// on, when it came after the package header), else SHA-1 with the 12 bytes
// after the 20-byte digest left zero.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "key_file.h"
#include "package_writer.h"
#include "signing_mode.h"

// A Signature part whose data is still zero.
struct SignatureSlot {
  uint64_t headerOffset = 0;  // of the package header part
  uint64_t dataOffset = 0;    // of the Signature part's data
  SigningMode mode = SigningMode::None;
};

// The 32-byte digest buffer for the slot, read back from the written file.
// firstMarker is the offset of the file's first type-25 part, if any.
bool coveredDigest(PackageWriter& writer, const SignatureSlot& slot,
                   std::optional<uint64_t> firstMarker, uint8_t digest[32]);

// Computes the digest and writes the signature into the slot's part.
bool fillSignature(PackageWriter& writer, const SignatureSlot& slot,
                   std::optional<uint64_t> firstMarker, const KeyFile& keys, std::string& error);

// The key file items that signing in this mode needs.
unsigned keyItemsFor(SigningMode mode);
