#include "signature_part.h"

#include "eddsa_signer.h"
#include "legacy_signer.h"

bool makeSignaturePart(const KeyFile& keys, const uint8_t digest[32], bool withEddsa,
                       std::vector<uint8_t>& part) {
  const unsigned needed = KEY_LEGACY_SECRET | KEY_HASH_CONSTANTS | KEY_HASH_INITIAL |
                          (withEddsa ? KEY_EDDSA_SEED : 0u);
  if ((keys.present & needed) != needed) return false;
  part.assign(withEddsa ? 132 : 68, 0);
  if (!legacySign(keys.legacySecret, keys.hashTable(), digest, part.data())) return false;
  return !withEddsa || eddsaSign(keys.eddsaSeed, digest, part.data() + 68);
}
