#include "pkgfile/verification.h"

#include <sys/stat.h>

#include "pkg/paths.h"
#include "pkgfile/built_in_keys.h"
#include "pkgfile/legacy_signature.h"
#include "platform/eddsa.h"

namespace {

constexpr size_t kLegacySignatureSize = 68;
constexpr size_t kEddsaSignatureOffset = 68;
constexpr size_t kEddsaSignatureEnd = 132;

bool fileExists(const char* path) {
  struct stat status;
  return stat(path, &status) == 0;
}

}  // namespace

int requiredSignatureLevel(const std::string& name, Version version) {
  if (fileExists(PATH_SECURE_MARKER)) return SIGNATURE_EDDSA;
  if (name == "branding") return SIGNATURE_LEGACY;
  if (version < 0x062E6609) return SIGNATURE_LEGACY;  // before 6.46.9
  if (version < 0x062F0000) return SIGNATURE_EDDSA;   // 6.46.9 up to 6.47
  if (version < 0x06306601) return SIGNATURE_LEGACY;  // 6.47 up to 6.48.1
  if (version < 0x07000000 || version > 0x07016203) return SIGNATURE_EDDSA;  // not 7.0 to 7.1beta3
  return SIGNATURE_LEGACY;
}

int signatureLevel(const uint8_t digest[32], const uint8_t* signature, size_t length) {
  if (length < kLegacySignatureSize) return SIGNATURE_NONE;
  if (length >= kEddsaSignatureEnd) {
    const asn1::blob key{eddsaPublicKey, eddsaPublicKey + 32};
    const asn1::blob message{digest, digest + 32};
    const asn1::blob eddsaSignature{signature + kEddsaSignatureOffset, signature + kEddsaSignatureEnd};
    if (eddsa::verify(key, message, eddsaSignature) != 0) return SIGNATURE_EDDSA;
  }
  return legacySignatureValid(digest, signature) ? SIGNATURE_LEGACY : SIGNATURE_NONE;
}
