#include "platform/eddsa.h"

#include <cstddef>

#include <openssl/err.h>
#include <openssl/evp.h>

namespace {

const size_t kKeySize = 32;
const size_t kSignatureSize = 64;

// Number of bytes in a blob; false when its ends are the wrong way round.
bool blobSize(asn1::blob b, size_t& size) {
  if (b.first == b.last) {
    size = 0;
    return true;
  }
  if (!b.first || !b.last || b.last < b.first) return false;
  size = static_cast<size_t>(b.last - b.first);
  return true;
}

bool verifyWith(EVP_PKEY* key, asn1::blob message, size_t messageSize, const uint8_t* signature) {
  static const uint8_t kEmpty[1] = {0};
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  const bool valid = ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, key) == 1 &&
                     EVP_DigestVerify(ctx, signature, kSignatureSize,
                                      messageSize ? message.first : kEmpty, messageSize) == 1;
  EVP_MD_CTX_free(ctx);
  return valid;
}

}  // namespace

namespace eddsa {

int verify(asn1::blob key, asn1::blob message, asn1::blob signature) {
  size_t keySize, messageSize, signatureSize;
  if (!blobSize(key, keySize) || !blobSize(message, messageSize) ||
      !blobSize(signature, signatureSize))
    return 0;
  if (keySize != kKeySize || signatureSize != kSignatureSize) return 0;

  // A refused signature is an ordinary outcome: keep it out of the error queue.
  ERR_set_mark();
  EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.first, kKeySize);
  const bool valid = pkey && verifyWith(pkey, message, messageSize, signature.first);
  EVP_PKEY_free(pkey);
  ERR_pop_to_mark();
  return valid ? 1 : 0;
}

}  // namespace eddsa
