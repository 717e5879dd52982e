#include "package_signing.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "eddsa_signer.h"
#include "platform/hash.h"
#include "signature_part.h"

namespace {

constexpr size_t kChunk = 65536;
constexpr size_t kLegacySize = 68;

bool hashRange(PackageWriter& writer, uint64_t start, uint64_t end, Hash& hash) {
  std::vector<uint8_t> buffer(kChunk);
  while (start < end) {
    const size_t count = size_t(std::min<uint64_t>(kChunk, end - start));
    if (!writer.readAt(start, buffer.data(), count)) return false;
    hash.update(buffer.data(), count);
    start += count;
  }
  return true;
}

// The EdDSA signature alone: the legacy bytes stay zero and never pass.
bool eddsaOnly(const KeyFile& keys, const uint8_t digest[32], std::vector<uint8_t>& part) {
  part.assign(signatureSize(SigningMode::Eddsa), 0);
  return (keys.present & KEY_EDDSA_SEED) &&
         eddsaSign(keys.eddsaSeed, digest, part.data() + kLegacySize);
}

bool signatureBytes(SigningMode mode, const KeyFile& keys, const uint8_t digest[32],
                    std::vector<uint8_t>& part) {
  switch (mode) {
    case SigningMode::Legacy:
      return makeSignaturePart(keys, digest, false, part);
    case SigningMode::Both:
      return makeSignaturePart(keys, digest, true, part);
    case SigningMode::Eddsa:
      return eddsaOnly(keys, digest, part);
    case SigningMode::None:
      break;
  }
  return false;
}

}  // namespace

unsigned keyItemsFor(SigningMode mode) {
  const unsigned legacy = KEY_LEGACY_SECRET | KEY_HASH_CONSTANTS | KEY_HASH_INITIAL;
  switch (mode) {
    case SigningMode::None:
      return 0;
    case SigningMode::Legacy:
      return legacy;
    case SigningMode::Eddsa:
      return KEY_EDDSA_SEED;
    case SigningMode::Both:
      return legacy | KEY_EDDSA_SEED;
  }
  return 0;
}

bool coveredDigest(PackageWriter& writer, const SignatureSlot& slot,
                   std::optional<uint64_t> firstMarker, uint8_t digest[32]) {
  memset(digest, 0, 32);
  const bool sha256 = firstMarker && *firstMarker < slot.dataOffset;
  if (!sha256) {
    SHA1 hash;
    if (!hashRange(writer, slot.headerOffset, slot.dataOffset, hash)) return false;
    hash.final(digest);
    return true;
  }
  // Bytes before the marker went to the abandoned SHA-1 digest.
  SHA256 hash;
  const uint64_t start = std::max(slot.headerOffset, *firstMarker);
  if (!hashRange(writer, start, slot.dataOffset, hash)) return false;
  hash.final(digest);
  return true;
}

bool fillSignature(PackageWriter& writer, const SignatureSlot& slot,
                   std::optional<uint64_t> firstMarker, const KeyFile& keys, std::string& error) {
  uint8_t digest[32];
  if (!coveredDigest(writer, slot, firstMarker, digest)) {
    error = writer.error();
    return false;
  }
  std::vector<uint8_t> part;
  if (!signatureBytes(slot.mode, keys, digest, part)) {
    error = std::string("signing (") + signingModeName(slot.mode) + ") failed";
    return false;
  }
  if (!writer.writeAt(slot.dataOffset, part.data(), part.size())) {
    error = writer.error();
    return false;
  }
  return true;
}
