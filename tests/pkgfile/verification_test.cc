#include "pkgfile/verification.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "key_file.h"
#include "pkgfile/byte_source.h"
#include "pkgfile/package_reader.h"
#include "signature_part.h"
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

// From the package header to the header of a Signature part of the given length.
std::string signedParts(uint32_t signatureLength) {
  return part(PackageHeader, testpkg::headerData("system", 0x07100000)) + part(Files, "payload") +
         le16(Signature) + le32(signatureLength);
}

// The Signature part's data for these covered bytes, made with the test keys
// (those the installer is built with): the legacy signature, then the EdDSA one.
std::string signatureData(const std::string& covered, bool sha256) {
  static KeyFile keys;
  std::string error;
  if (!keys.present) {
    EXPECT_TRUE(readKeyFile(TEST_KEY_FILE, keys, error)) << error;
  }
  unsigned char digest[EVP_MAX_MD_SIZE] = {0};
  EVP_Digest(covered.data(), covered.size(), digest, nullptr, sha256 ? EVP_sha256() : EVP_sha1(), nullptr);
  std::vector<uint8_t> data;
  EXPECT_TRUE(makeSignaturePart(keys, digest, true, data));
  return std::string(data.begin(), data.end());
}

// The level found at the Signature part; -1 when there is none.
int verify(const std::string& file, bool hashing = true) {
  Walk walk(file, {Signature}, hashing);
  return walk.reader.nextPart() == Signature ? walk.reader.verifySignature() : -1;
}

TEST(VerifySignature, EitherSignatureOverTheRunningDigest) {
  for (bool sha256 : {false, true}) {
    SCOPED_TRACE(sha256 ? "SHA-256" : "SHA-1");
    const std::string marker = sha256 ? part(Sha256Marker, "") : "";
    const std::string covered = signedParts(140);
    const std::string signature = signatureData(covered, sha256) + "12345678";
    EXPECT_EQ(2, verify(packageFile(marker + covered + signature)));
    EXPECT_EQ(0, verify(packageFile(marker + covered + signature), false));
    std::string legacyBroken = signature, eddsaBroken = signature;
    legacyBroken[40] ^= 4;
    eddsaBroken[100] ^= 4;
    EXPECT_EQ(2, verify(packageFile(marker + covered + legacyBroken)));
    EXPECT_EQ(1, verify(packageFile(marker + covered + eddsaBroken)));

    // Below 132 bytes only the legacy signature is looked at.
    const std::string cut = signedParts(131);
    EXPECT_EQ(1, verify(packageFile(marker + cut + signatureData(cut, sha256).substr(0, 131))));

    // A package with any one byte of the covered range changed.
    const std::string good = packageFile(marker + covered + signature);
    const size_t end = good.size() - signature.size();
    for (size_t at = end - covered.size(); at < end; ++at) {
      std::string bad = good;
      bad[at] ^= 1 << (at % 8);
      EXPECT_GE(0, verify(bad)) << "byte " << at;
    }
  }
}

TEST(VerifySignature, ShortPartsGiveNothing) {
  EXPECT_EQ(0, verify(packageFile(signedParts(67) + std::string(67, 's'))));
  EXPECT_EQ(0, verify(packageFile(signedParts(132) + std::string(100, 's'))));  // the file ends first
  EXPECT_EQ(0, verify(packageFile(signedParts(0))));
}

}  // namespace
