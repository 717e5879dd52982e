#include "pkgfile/verification.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "pkgfile/byte_source.h"
#include "pkgfile/package_reader.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using testpkg::le16;
using testpkg::le32;
using testpkg::packageFile;
using testpkg::part;

TEST(RequiredSignatureLevel, FollowsNameVersionAndSecureMarker) {
  struct Row {
    const char* name;
    Version version;
    int level;
  };
  const Row rows[] = {
      {"system", 0x062E6608, 1}, {"system", 0x062E6609, 2},   {"system", 0x062F0000, 1},
      {"system", 0x06306600, 1}, {"system", 0x06306601, 2},   {"system", 0x07000000, 1},
      {"system", 0x07016203, 1}, {"system", 0x07016204, 2},   {"branding", 0x07016204, 1},
      {"branding", 0x062E6609, 1}, {"Branding", 0x07016204, 2},
  };
  PrivateRoot root;
  EXPECT_TRUE(runInRoot(root, [&] {
    for (const Row& row : rows)
      EXPECT_EQ(row.level, requiredSignatureLevel(row.name, row.version)) << row.name << " " << row.version;
  }));
  root.write("/ram/SECURE", "");
  EXPECT_TRUE(runInRoot(root, [&] {
    for (const Row& row : rows) EXPECT_EQ(2, requiredSignatureLevel(row.name, row.version)) << row.name;
  }));
}

// Signs with the development key of keys/test-keys.txt.
std::string ed25519Sign(const std::string& message) {
  static const unsigned char seed[32] = {
      0xdd, 0x20, 0xa4, 0x3a, 0x6a, 0x2e, 0x74, 0xc9, 0xe3, 0x1e, 0xa6, 0x7a, 0x07, 0x0d, 0xb8, 0xc3,
      0xe2, 0xe4, 0x98, 0x43, 0x9c, 0x31, 0xf9, 0x08, 0xb2, 0x02, 0x23, 0x95, 0xd2, 0xd8, 0x25, 0x31};
  EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, sizeof seed);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  unsigned char signature[64];
  size_t length = sizeof signature;
  EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key);
  EVP_DigestSign(context, signature, &length, reinterpret_cast<const unsigned char*>(message.data()),
                 message.size());
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  return std::string(reinterpret_cast<char*>(signature), length);
}

// The 32-byte digest buffer that the reader signs for these bytes.
std::string digestBuffer(const EVP_MD* md, const std::string& bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &size, md, nullptr);
  std::string digest(reinterpret_cast<char*>(out), size);
  digest.resize(32, '\0');
  return digest;
}

// From the package header to the header of a Signature part of the given length.
std::string signedParts(uint32_t signatureLength) {
  return part(PackageHeader, testpkg::headerData("system", 0x07100000)) + part(Files, "payload") +
         le16(Signature) + le32(signatureLength);
}

int verify(const std::string& file, bool hashing = true) {
  ByteSource source(file);
  std::istream input(&source);
  PackageReader reader(input, hashing, nullptr);
  reader.wantedTypes = {Signature};
  EXPECT_EQ(Signature, reader.nextPart());
  return reader.verifySignature();
}

TEST(VerifySignature, EddsaSignatureOverTheRunningDigest) {
  const std::string junk(68, '\x5a');  // no valid legacy signature
  const std::string covered = signedParts(140);
  for (bool sha256 : {false, true}) {
    const std::string digest = digestBuffer(sha256 ? EVP_sha256() : EVP_sha1(), covered);
    const std::string file =
        packageFile((sha256 ? part(Sha256Marker, "") : "") + covered + junk + ed25519Sign(digest) + "12345678");
    EXPECT_EQ(2, verify(file));
    EXPECT_EQ(0, verify(file, false));
  }
  const std::string otherDigest = digestBuffer(EVP_sha1(), covered + "x");
  EXPECT_EQ(0, verify(packageFile(signedParts(132) + junk + ed25519Sign(otherDigest))));

  // Below 132 bytes the EdDSA signature is not looked at.
  const std::string digest = digestBuffer(EVP_sha1(), signedParts(131));
  EXPECT_EQ(0, verify(packageFile(signedParts(131) + junk + ed25519Sign(digest).substr(0, 63))));
}

TEST(VerifySignature, ShortPartsGiveNothing) {
  EXPECT_EQ(0, verify(packageFile(signedParts(67) + std::string(67, 's'))));
  EXPECT_EQ(0, verify(packageFile(signedParts(132) + std::string(100, 's'))));  // the file ends first
  EXPECT_EQ(0, verify(packageFile(signedParts(0))));
}

}  // namespace
