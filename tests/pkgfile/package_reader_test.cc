#include "pkgfile/package_reader.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <sstream>

#include "pkgfile/byte_source.h"
#include "support/package_builder.h"

namespace {

using testpkg::headerData;
using testpkg::le16;
using testpkg::le32;
using testpkg::packageFile;
using testpkg::part;

// The 32-byte digest buffer as it should hold the digest of bytes.
std::string expectedDigest(const EVP_MD* md, const std::string& bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &size, md, nullptr);
  std::string digest(reinterpret_cast<char*>(out), size);
  digest.resize(32, '\0');
  return digest;
}

std::string readPart(PackageReader& reader) {
  std::string data(reader.partLength(), '\0');
  reader.read(&data[0], data.size());
  data.resize(reader.gcount());
  return data;
}

TEST(PackageReader, FileHeaderDecidesReadability) {
  const std::string parts = part(PackageHeader, headerData("dhcp", 1));
  EXPECT_TRUE(Walk(packageFile(parts, testpkg::kUntrackedMagic), {}).reader.isUntracked());
  for (const std::string& bad : {packageFile(parts).substr(0, 7), packageFile(parts, 0x1EF1D0BA)})
    EXPECT_EQ(-1, Walk(bad, {PackageHeader}).reader.nextPart());
}

// The last part runs past the end of the file: its reads yield what is there.
TEST(PackageReader, StopsOnlyAtWantedTypesWithinParts) {
  const std::string file = packageFile(part(Sha256Marker, "") + part(7, "skip me") + part(PackageHeader, "hdr") +
                                       part(1000, std::string(20000, 'x')) + part(Note, "note")) +
                           le16(Files) + le32(1000) + "files";
  for (bool hashing : {false, true}) {
    Walk walk(file, {PackageHeader, Files, Note}, hashing);
    PackageReader& reader = walk.reader;
    EXPECT_EQ(PackageHeader, reader.nextPart());
    EXPECT_EQ(3u, reader.partLength());
    EXPECT_EQ(8u + 6 + 6 + 7 + 6, reader.partStart());
    EXPECT_EQ(Note, reader.nextPart());
    EXPECT_EQ(file.find("note"), reader.partStart());
    char buffer[16];
    EXPECT_EQ(4, reader.read(buffer, sizeof buffer).gcount());  // reads end with the part
    reader.clear();
    EXPECT_EQ(Files, reader.nextPart());
    EXPECT_EQ('f', reader.get());
    EXPECT_EQ(4, reader.read(buffer, sizeof buffer).gcount());
    reader.clear();
    EXPECT_EQ(-1, reader.nextPart());
    EXPECT_TRUE(reader.fail());
    EXPECT_EQ(-1, reader.nextPart());
  }
}

// Bytes passed over are copied and hashed; bytes put back and read again are
// copied and hashed once.
TEST(PackageReader, TeeReceivesTheFileByteForByte) {
  const std::string file = packageFile(part(PackageHeader, headerData("ppp", 7)) + part(7, "unknown") +
                                       part(Image, std::string(40000, 'i')) + part(Files, "payload") +
                                       part(Signature, std::string(132, 's')) + part(Architecture, "armv7"));
  const std::string covered = file.substr(8, file.size() - 8 - 132 - 11);  // to the signature's data
  for (bool hashing : {false, true}) {
    std::stringbuf tee;
    Walk walk(file, {PackageHeader, Image, Files, Signature, Architecture}, hashing, &tee);
    PackageReader& reader = walk.reader;
    ASSERT_EQ(PackageHeader, reader.nextPart());
    EXPECT_EQ(file.substr(0, 14), tee.str());
    ASSERT_EQ(Image, reader.nextPart());
    reader.seekg(30000, std::ios_base::cur);
    ASSERT_EQ(Files, reader.nextPart());
    reader.get();
    reader.unget();  // read again, but copied once
    EXPECT_EQ("payload", readPart(reader));
    ASSERT_EQ(Signature, reader.nextPart());
    reader.verifySignature();
    if (hashing) {
      EXPECT_EQ(expectedDigest(EVP_sha1(), covered), walk.digest());
    }
    EXPECT_EQ(Architecture, reader.nextPart());
    EXPECT_EQ(-1, reader.nextPart());
    EXPECT_EQ(file, tee.str());
  }
  // The bytes of a part header cut short are not copied.
  std::stringbuf tee;
  const std::string whole = packageFile(part(Note, "n"));
  Walk walk(whole + std::string("\x01\x00\x05", 3), {Note}, true, &tee);
  EXPECT_EQ(Note, walk.reader.nextPart());
  EXPECT_EQ(-1, walk.reader.nextPart());
  EXPECT_EQ(whole, tee.str());
}

// Without hashing, over a source that can seek, seeks go both ways and the
// bytes passed over are never read. Otherwise they go forward only, by
// reading in bounded pieces, and the source is never asked to seek.
TEST(PackageReader, Seeks) {
  std::string data(50000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
  const std::string file =
      packageFile(part(Files, data) + part(7, std::string(40000, 'z')) + part(Note, "after"));
  for (const bool hashing : {false, true}) {
    for (const bool seekable : {true, false}) {
      SCOPED_TRACE(testing::Message() << "hashing " << hashing << ", seekable " << seekable);
      const bool backwards = seekable && !hashing;
      Walk walk(file, {Files, Note}, hashing, nullptr, seekable);
      PackageReader& reader = walk.reader;
      const auto seekFails = [&reader](std::streamoff to) {
        const bool failed = !reader.seekg(to);
        reader.clear();
        return failed;
      };
      ASSERT_EQ(Files, reader.nextPart());
      reader.seekg(100);
      EXPECT_EQ(data[100], char(reader.get()));
      reader.seekg(30000, std::ios_base::cur);
      EXPECT_EQ(30101, reader.tellg());
      EXPECT_EQ(data[30101], char(reader.get()));
      reader.seekg(-5, std::ios_base::end);
      EXPECT_EQ(data[data.size() - 5], char(reader.get()));
      EXPECT_EQ(!backwards, seekFails(10));
      if (backwards) {
        EXPECT_EQ(data[10], char(reader.get()));
      }
      EXPECT_TRUE(seekFails(data.size() + 1));
      EXPECT_TRUE(seekFails(-1));
      EXPECT_EQ(Note, reader.nextPart());
      EXPECT_EQ("after", readPart(reader));
      if (backwards) {
        EXPECT_LT(walk.source.delivered(), 100u);
      } else {
        EXPECT_EQ(0u, walk.source.seeks());
        EXPECT_LE(walk.source.largestRequest(), 16384u);
      }
    }
  }
}

// The digest checked at the Signature part of prefix + signed + Signature part.
std::string checkedDigest(const std::string& prefix, const std::string& signedParts) {
  Walk walk(packageFile(prefix + signedParts + part(Signature, std::string(132, 's')) + part(Note, "n")),
            {Signature}, true);
  EXPECT_EQ(Signature, walk.reader.nextPart());
  walk.reader.verifySignature();
  return walk.digest();
}

// From the package header to the Signature part's header; a type-25 part
// before the header or after it switches to SHA-256 from there on.
TEST(RunningDigest, CoversHeaderToSignaturePartHeader) {
  const std::string signatureHeader = le16(Signature) + le32(132);
  const std::string header = part(PackageHeader, headerData("system", 0x06310000));
  const std::string package = header + part(Architecture, "armv7") + part(Files, std::string(30000, 'f'));
  const std::string front = part(7, "not covered");
  EXPECT_EQ(expectedDigest(EVP_sha1(), package + signatureHeader), checkedDigest(front, package));
  EXPECT_EQ(expectedDigest(EVP_sha256(), package + signatureHeader),
            checkedDigest(part(Sha256Marker, "") + front, package));
  const std::string marked = part(Sha256Marker, "ab") + part(Files, "data");
  EXPECT_EQ(expectedDigest(EVP_sha256(), marked + signatureHeader), checkedDigest(front, header + marked));
}

TEST(RunningDigest, EachBundleMemberHasItsOwn) {
  const std::string bundle = part(BundleHeader, headerData("base", 0x06310000)) +
                             part(BundleList, testpkg::refListData({{"system", 0, 0, 0}}));
  const std::string first = part(PackageHeader, headerData("system", 1)) + part(Files, "one");
  const std::string second = part(PackageHeader, headerData("dhcp", 1)) + part(Files, "two");
  const std::string signature = part(Signature, std::string(132, 's'));
  Walk walk(packageFile(bundle + first + signature + second + signature), {Signature}, true);
  for (const std::string& member : {first, second}) {
    ASSERT_EQ(Signature, walk.reader.nextPart());
    walk.reader.verifySignature();
    EXPECT_EQ(expectedDigest(EVP_sha1(), member + signature.substr(0, 6)), walk.digest());
  }
}

}  // namespace
