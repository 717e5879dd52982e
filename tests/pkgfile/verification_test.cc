#include "pkgfile/verification.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "key_file.h"
#include "pkgfile/byte_source.h"
#include "signature_part.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using namespace testpkg;

// By name and version; EdDSA for every package while /ram/SECURE exists.
TEST(RequiredSignatureLevel, FollowsNameVersionAndSecureMarker) {
  const std::pair<const char*, Version> legacy[] = {{"system", 0x062E6608}, {"system", 0x062F0000}, {"system", 0x06306600},
                                                    {"system", 0x07000000}, {"system", 0x07016203}, {"branding", 0x07016204},
                                                    {"branding", 0x062E6609}};
  const std::pair<const char*, Version> eddsa[] = {{"system", 0x062E6609}, {"system", 0x06306601}, {"system", 0x07016204},
                                                   {"Branding", 0x07016204}};
  PrivateRoot root;
  for (const bool secure : {false, true}) {
    if (secure) root.write("/ram/SECURE", "");
    EXPECT_TRUE(runInRoot(root, [&] {
      for (const auto& [name, version] : legacy) EXPECT_EQ(secure ? 2 : 1, requiredSignatureLevel(name, version)) << name << version;
      for (const auto& [name, version] : eddsa) EXPECT_EQ(2, requiredSignatureLevel(name, version)) << name << version;
    }));
  }
}

// The Signature part, of the given length, for the covered bytes and the
// part's own header, made with the test keys (those the installer is built
// with): the legacy signature, then the EdDSA one.
std::string signaturePart(const std::string& covered, bool sha256, uint32_t length = 140) {
  static KeyFile keys;
  std::string error;
  if (!keys.present) {
    EXPECT_TRUE(readKeyFile(TEST_KEY_FILE, keys, error)) << error;
  }
  const std::string header = le16(Signature) + le32(length), signedBytes = covered + header;
  unsigned char digest[EVP_MAX_MD_SIZE] = {0};
  EVP_Digest(signedBytes.data(), signedBytes.size(), digest, nullptr, sha256 ? EVP_sha256() : EVP_sha1(), nullptr);
  std::vector<uint8_t> data;
  EXPECT_TRUE(makeSignaturePart(keys, digest, true, data));
  data.resize(length, '8');
  return header + std::string(data.begin(), data.end());
}

// The level found at each Signature part; -1 when there is none.
std::vector<int> levels(const std::string& file, bool hashing = true) {
  Walk walk(file, {Signature}, hashing);
  std::vector<int> found;
  while (walk.reader.nextPart() == Signature) found.push_back(walk.reader.verifySignature());
  return found.empty() ? std::vector<int>{-1} : found;
}

// The signature covers the package header to the Signature part's header
// (a signature over those bytes reaching its level shows that the digest
// is theirs); a type-25 part before the header or after it switches to
// SHA-256 from there on; each bundle member has its own. Without hashing
// nothing reaches a level.
TEST(VerifySignature, CoversHeaderToSignaturePartHeader) {
  const std::string header = part(PackageHeader, headerData("system", 0x07100000));
  const std::string covered = header + part(Files, "payload"), marked = part(Sha256Marker, "ab") + part(Files, "data");
  const struct {
    std::string front, covered;
    bool sha256;
  } rows[] = {{part(7, "not covered"), covered, false},
              {part(Sha256Marker, "") + part(7, "not covered"), covered, true},
              {part(7, "x") + header, marked, true}};
  for (const auto& row : rows) {
    const std::string good = packageFile(row.front + row.covered + signaturePart(row.covered, row.sha256));
    EXPECT_EQ(std::vector<int>{2}, levels(good)) << &row - rows;
    EXPECT_EQ(std::vector<int>{0}, levels(good, false)) << &row - rows;
  }
  const std::string second = part(PackageHeader, headerData("dhcp", 1)) + part(Files, "two");
  EXPECT_EQ((std::vector<int>{2, 2}), levels(packageFile(part(BundleHeader, headerData("base", 1)) + covered +
                                                         signaturePart(covered, false) + second +
                                                         signaturePart(second, false))));
  // Either signature counts, EdDSA first; below 132 bytes only the legacy
  // one is looked at; below 68, or cut short by the end of the file, none.
  std::string legacyBroken = signaturePart(covered, false), eddsaBroken = legacyBroken;
  legacyBroken[6 + 40] ^= 4;
  eddsaBroken[6 + 100] ^= 4;
  for (const auto& [signature, level] : {std::make_pair(legacyBroken, 2), {eddsaBroken, 1},
                                         {signaturePart(covered, false, 131), 1}, {signaturePart(covered, false, 67), 0},
                                         {signaturePart(covered, false).substr(0, 100), 0}, {le16(Signature) + le32(0), 0}})
    EXPECT_EQ(std::vector<int>{level}, levels(packageFile(covered + signature))) << signature.size();
}

}  // namespace
