#include "pkgfile/package_reader.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>

#include "pkgfile/byte_source.h"
#include "support/package_builder.h"

namespace {

using namespace testpkg;

std::string readPart(PackageReader& reader, size_t most = 1 << 20) {
  std::string data(std::min<size_t>(most, reader.partLength()), '\0');
  reader.read(&data[0], data.size());
  data.resize(reader.gcount());
  reader.clear();
  return data;
}

// The magic decides whether the file is read at all. Then the reader stops
// at the wanted parts only; reads end with the part, and the last one,
// running past the end of the file, yields what is there. Every byte goes
// to the tee, those passed over or sought past too, and those put back and
// read again once; with hashing, the digest covers the package header to
// the Signature part's header (SHA-256 after a type-25 part). The bytes of
// a part header cut short are not copied.
TEST(PackageReader, WalksWantedPartsAndCopiesEveryByte) {
  const std::string header = part(PackageHeader, headerData("dhcp", 1));
  EXPECT_TRUE(Walk(packageFile(header, kUntrackedMagic), {}).reader.isUntracked());
  for (const std::string& bad : {packageFile(header).substr(0, 7), packageFile(header, 0x1EF1D0BA)})
    EXPECT_EQ(-1, Walk(bad, {PackageHeader}).reader.nextPart());

  const std::string covered = header + part(7, std::string(20000, 'x')) + part(Image, std::string(40000, 'i')) +
                              part(Files, "payload") + le16(Signature) + le32(132);
  const std::string file = packageFile(part(Sha256Marker, "") + part(7, "skip me") + covered + std::string(132, 's') +
                                       part(Note, "note")) + le16(Architecture) + le32(1000) + "armv7";
  for (bool hashing : {false, true}) {
    std::stringbuf tee;
    Walk walk(file, {PackageHeader, Image, Files, Signature, Note, Architecture}, hashing, &tee);
    PackageReader& reader = walk.reader;
    ASSERT_EQ(PackageHeader, reader.nextPart());
    EXPECT_EQ(32u, reader.partLength());
    EXPECT_EQ(8u + 6 + 6 + 7 + 6, reader.partStart());
    EXPECT_EQ(file.substr(0, 8 + 6 + 6 + 7 + 6), tee.str());
    ASSERT_EQ(Image, reader.nextPart());
    reader.seekg(30000, std::ios_base::cur);
    ASSERT_EQ(Files, reader.nextPart());
    reader.get();
    reader.unget();
    EXPECT_EQ("payload", readPart(reader));
    ASSERT_EQ(Signature, reader.nextPart());
    reader.verifySignature();
    unsigned char digest[32] = {0};
    EVP_Digest(covered.data(), covered.size(), digest, nullptr, EVP_sha256(), nullptr);
    EXPECT_EQ(hashing, memcmp(digest, reader.digest(), 32) == 0);
    EXPECT_EQ(Note, reader.nextPart());
    EXPECT_EQ(file.find("note"), reader.partStart());
    EXPECT_EQ("note", readPart(reader));
    EXPECT_EQ(Architecture, reader.nextPart());
    EXPECT_EQ('a', reader.get());
    EXPECT_EQ("rmv7", readPart(reader));
    EXPECT_EQ(-1, reader.nextPart());
    EXPECT_TRUE(reader.fail());
    EXPECT_EQ(-1, reader.nextPart());
    EXPECT_EQ(file, tee.str());
  }
  std::stringbuf tee;
  Walk cut(packageFile(header) + std::string("\x01\x00\x05", 3), {PackageHeader}, true, &tee);
  EXPECT_EQ(PackageHeader, cut.reader.nextPart());
  EXPECT_EQ(-1, cut.reader.nextPart());
  EXPECT_EQ(packageFile(header), tee.str());
}

// Without hashing, over a source that can seek, seeks go both ways and the
// bytes passed over are never read. Otherwise they go forward only, by
// reading in bounded pieces, and the source is never asked to seek. No
// seek leaves the part.
TEST(PackageReader, Seeks) {
  std::string data(50000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
  const std::string file = packageFile(part(Files, data) + part(7, std::string(40000, 'z')) + part(Note, "after"));
  const struct {
    std::streamoff offset;
    std::ios_base::seekdir from;
  } seeks[] = {{100, std::ios_base::beg}, {30000, std::ios_base::cur}, {-5, std::ios_base::end},
               {10, std::ios_base::beg},  {50001, std::ios_base::beg}, {-1, std::ios_base::beg}};
  for (const bool hashing : {false, true}) {
    for (const bool seekable : {true, false}) {
      const bool backwards = seekable && !hashing;
      Walk walk(file, {Files, Note}, hashing, nullptr, seekable);
      ASSERT_EQ(Files, walk.reader.nextPart());
      std::string got;  // the position and the byte read after each seek, or "-"
      for (const auto& seek : seeks) {
        got += walk.reader.seekg(seek.offset, seek.from) ? std::to_string(walk.reader.tellg()) : "-";
        if (walk.reader) got += char(walk.reader.get());
        walk.reader.clear();
      }
      EXPECT_EQ("100" + std::string(1, data[100]) + "30101" + data[30101] + "49995" + data[49995] +
                    (backwards ? "10" + std::string(1, data[10]) : "-") + "--",
                got) << hashing << seekable;
      EXPECT_EQ(Note, walk.reader.nextPart());
      EXPECT_EQ("after", readPart(walk.reader));
      if (backwards) {
        EXPECT_LT(walk.source.delivered, 100u);
      } else {
        EXPECT_EQ(0u, walk.source.seeks);
        EXPECT_LE(walk.source.largestRequest, 16384u);
      }
    }
  }
}

}  // namespace
