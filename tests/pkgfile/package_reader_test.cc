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

struct Walk {
  Walk(const std::string& file, std::vector<uint32_t> wanted, bool hashing = false,
       std::streambuf* tee = nullptr, bool seekable = true)
      : source(file, seekable), input(&source), reader(input, hashing, tee) {
    reader.wantedTypes = std::move(wanted);
  }
  std::string digest() const { return std::string(reinterpret_cast<const char*>(reader.digest()), 32); }
  ByteSource source;
  std::istream input;
  PackageReader reader;
};

TEST(PackageReader, FileHeaderDecidesReadability) {
  const std::string parts = part(PackageHeader, headerData("dhcp", 1));
  Walk ordinary(packageFile(parts), {PackageHeader});
  EXPECT_EQ(8 + parts.size(), ordinary.reader.totalSize());
  EXPECT_FALSE(ordinary.reader.isUntracked());
  EXPECT_EQ(PackageHeader, ordinary.reader.nextPart());
  Walk untracked(packageFile(parts, testpkg::kUntrackedMagic), {PackageHeader});
  EXPECT_TRUE(untracked.reader.isUntracked());
  EXPECT_EQ(PackageHeader, untracked.reader.nextPart());

  Walk cut(packageFile(parts).substr(0, 7), {PackageHeader});
  EXPECT_EQ(0xFFFFFFFFu, cut.reader.magic());
  EXPECT_EQ(-1, cut.reader.nextPart());
  Walk foreign(packageFile(parts, 0x1EF1D0BA), {PackageHeader});
  EXPECT_EQ(-1, foreign.reader.nextPart());
}

TEST(PackageReader, StopsOnlyAtWantedTypesWithinParts) {
  const std::string file = packageFile(part(Sha256Marker, "") + part(7, "skip me") + part(PackageHeader, "hdr") +
                                       part(1000, std::string(20000, 'x')) + part(Note, "note") +
                                       part(Files, "files"));
  for (bool hashing : {false, true}) {
    Walk walk(file, {PackageHeader, Files, Note}, hashing);
    PackageReader& reader = walk.reader;
    EXPECT_EQ(-1, reader.currentType());
    EXPECT_EQ(PackageHeader, reader.nextPart());
    EXPECT_EQ(3u, reader.partLength());
    EXPECT_EQ(8u + 6 + 6 + 7 + 6, reader.partStart());
    EXPECT_EQ(Note, reader.nextPart());
    EXPECT_EQ(file.find("note"), reader.partStart());
    EXPECT_EQ('n', reader.get());  // a part half read is left behind whole
    EXPECT_EQ(Files, reader.nextPart());
    char buffer[16];
    EXPECT_EQ(5, reader.read(buffer, sizeof buffer).gcount());  // reads end with the part
    reader.clear();
    EXPECT_EQ(-1, reader.nextPart());
    EXPECT_TRUE(reader.fail());
    EXPECT_EQ(-1, reader.nextPart());
  }
}

TEST(PackageReader, PartRunningPastTheEndYieldsWhatIsThere) {
  const std::string file = le32(testpkg::kMagic) + le32(100) + le16(Note) + le32(1000) + "only this";
  for (bool hashing : {false, true}) {
    Walk walk(file, {Note, Text2}, hashing);
    ASSERT_EQ(Note, walk.reader.nextPart());
    EXPECT_EQ("only this", readPart(walk.reader));
    walk.reader.clear();
    EXPECT_EQ(-1, walk.reader.nextPart());
  }
}

TEST(PackageReader, TeeReceivesTheFileByteForByte) {
  const std::string file = packageFile(part(PackageHeader, headerData("ppp", 7)) + part(7, "unknown") +
                                       part(Image, std::string(40000, 'i')) + part(Files, "payload") +
                                       part(Signature, std::string(132, 's')) + part(Architecture, "armv7"));
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
    EXPECT_EQ(Architecture, reader.nextPart());
    EXPECT_EQ(-1, reader.nextPart());
    EXPECT_EQ(file, tee.str());
    EXPECT_FALSE(reader.teeFailed());
  }
  struct FullDisk : std::streambuf {} full;  // takes no bytes
  Walk refused(file, {Files}, true, &full);
  EXPECT_EQ(Files, refused.reader.nextPart());
  EXPECT_TRUE(refused.reader.teeFailed());
  // The bytes of a part header cut short are not copied.
  std::stringbuf tee;
  const std::string whole = packageFile(part(Note, "n"));
  Walk walk(whole + std::string("\x01\x00\x05", 3), {Note}, true, &tee);
  EXPECT_EQ(Note, walk.reader.nextPart());
  EXPECT_EQ(-1, walk.reader.nextPart());
  EXPECT_EQ(whole, tee.str());
}

std::string numbered(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = char(i * 7 + i / 251);
  return data;
}

TEST(PackageReader, SeeksTheSourceWhenNothingIsCopied) {
  const std::string data = numbered(50000);
  Walk walk(packageFile(part(Files, data) + part(Note, "after")), {Files, Note});
  PackageReader& reader = walk.reader;
  ASSERT_EQ(Files, reader.nextPart());
  reader.seekg(40000);
  EXPECT_EQ(40000, reader.tellg());
  EXPECT_EQ(data[40000], char(reader.get()));
  reader.seekg(10);
  EXPECT_EQ(data[10], char(reader.get()));
  reader.seekg(-5, std::ios_base::end);
  EXPECT_EQ(data[data.size() - 5], char(reader.get()));
  reader.seekg(data.size() + 1);
  EXPECT_TRUE(reader.fail());
  reader.clear();
  reader.seekg(-1);
  EXPECT_TRUE(reader.fail());
  reader.clear();
  EXPECT_EQ(Note, reader.nextPart());
  EXPECT_EQ("after", readPart(reader));
  EXPECT_LT(walk.source.delivered(), 100u);  // the rest of the data was never read
}

TEST(PackageReader, SeeksOnlyForwardWhenHashingOrTheSourceCannotSeek) {
  const std::string data = numbered(50000);
  const std::string file = packageFile(part(Files, data) + part(7, std::string(40000, 'z')) + part(Note, "x"));
  for (bool hashing : {false, true}) {
    Walk walk(file, {Files, Note}, hashing, nullptr, hashing);
    PackageReader& reader = walk.reader;
    ASSERT_EQ(Files, reader.nextPart());
    reader.seekg(100);
    EXPECT_EQ(data[100], char(reader.get()));
    reader.seekg(50);
    EXPECT_TRUE(reader.fail());
    reader.clear();
    reader.seekg(30000, std::ios_base::cur);
    EXPECT_EQ(30101, reader.tellg());
    EXPECT_EQ(data[30101], char(reader.get()));
    EXPECT_EQ(Note, reader.nextPart());
    EXPECT_EQ(0u, walk.source.seeks());
    EXPECT_EQ(file.size() - 1, walk.source.delivered());
    EXPECT_LE(walk.source.largestRequest(), 16384u);
  }
}

// The digest checked at the Signature part of prefix + signed + Signature part.
std::string checkedDigest(const std::string& prefix, const std::string& signedParts) {
  Walk walk(packageFile(prefix + signedParts + part(Signature, std::string(132, 's')) + part(Note, "n")),
            {Signature}, true);
  EXPECT_EQ(Signature, walk.reader.nextPart());
  walk.reader.verifySignature();
  EXPECT_TRUE(walk.reader.digestReady());
  return walk.digest();
}

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

  // Bytes put back and read again are hashed once.
  Walk walk(packageFile(package + part(Signature, std::string(68, 's'))), {Architecture, Signature}, true);
  ASSERT_EQ(Architecture, walk.reader.nextPart());
  walk.reader.get();
  walk.reader.get();
  walk.reader.unget();
  walk.reader.ignore(5);
  ASSERT_EQ(Signature, walk.reader.nextPart());
  walk.reader.verifySignature();
  EXPECT_EQ(expectedDigest(EVP_sha1(), package + le16(Signature) + le32(68)), walk.digest());
}

TEST(RunningDigest, EachBundleMemberHasItsOwn) {
  const std::string bundle = part(BundleHeader, headerData("base", 0x06310000)) +
                             part(BundleList, testpkg::refListData({{"system", 0, 0, 0}}));
  const std::string first = part(PackageHeader, headerData("system", 1)) + part(Files, "one");
  const std::string second = part(PackageHeader, headerData("dhcp", 1)) + part(Files, "two");
  const std::string signature = part(Signature, std::string(132, 's'));
  const std::string signatureHeader = signature.substr(0, 6);
  Walk walk(packageFile(bundle + first + signature + second + signature),
            {BundleHeader, PackageHeader, Signature}, true);
  PackageReader& reader = walk.reader;
  ASSERT_EQ(BundleHeader, reader.nextPart());
  EXPECT_FALSE(reader.digestReady());
  ASSERT_EQ(PackageHeader, reader.nextPart());
  EXPECT_TRUE(reader.digestReady());
  EXPECT_EQ(expectedDigest(EVP_sha1(), bundle), walk.digest());
  ASSERT_EQ(Signature, reader.nextPart());
  reader.verifySignature();
  EXPECT_EQ(expectedDigest(EVP_sha1(), first + signatureHeader), walk.digest());
  ASSERT_EQ(PackageHeader, reader.nextPart());
  ASSERT_EQ(Signature, reader.nextPart());
  reader.verifySignature();
  EXPECT_EQ(expectedDigest(EVP_sha1(), second + signatureHeader), walk.digest());

  // Without a signature check, the end of the parts finishes the digest.
  Walk toEnd(packageFile(first + part(7, "tail")), {PackageHeader}, true);
  ASSERT_EQ(PackageHeader, toEnd.reader.nextPart());
  EXPECT_EQ(-1, toEnd.reader.nextPart());
  EXPECT_EQ(expectedDigest(EVP_sha1(), first + part(7, "tail")), toEnd.digest());
}

TEST(RunningDigest, AReaderThatDoesNotHashEndsWithTheDigestOfNothing) {
  const std::string file =
      packageFile(part(Sha256Marker, "") + part(1, headerData("system", 1, 2)) + part(7, "tail"));
  Walk walk(file, {PackageHeader}, false);
  ASSERT_EQ(PackageHeader, walk.reader.nextPart());
  EXPECT_FALSE(walk.reader.digestReady());
  EXPECT_EQ(0, walk.reader.verifySignature());
  EXPECT_EQ(-1, walk.reader.nextPart());
  EXPECT_TRUE(walk.reader.digestReady());
  EXPECT_EQ(expectedDigest(EVP_sha1(), ""), walk.digest());
}

}  // namespace
