// Package files: the part reader over counted bytes, the decompression of the
// payload and the records read from the parts; the hash, the field
// arithmetic and the legacy scheme of signatures, the key files, and the
// signature checks of package files.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "key_file.h"
#include "legacy_signer.h"
#include "pkgfile/custom_sha256.h"
#include "pkgfile/field_element.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/legacy_signature.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"
#include "pkgfile/verification.h"
#include "signature_part.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using namespace testpkg;

// Bytes in memory as a stream buffer that counts what bulk reads hand out
// and the seeks asked of it, and can refuse to seek (like a pipe) or hand
// out short reads; and a package reader over such bytes.

struct ByteSource : std::stringbuf {
  explicit ByteSource(const std::string& data, bool seekable = true, size_t maxChunk = 0)
      : std::stringbuf(data, std::ios_base::in), seekable(seekable), maxChunk(maxChunk) {}
  bool seekable;
  size_t maxChunk, delivered = 0, seeks = 0, largestRequest = 0;

 protected:
  std::streamsize xsgetn(char* buffer, std::streamsize count) override {
    largestRequest = std::max(largestRequest, size_t(count));
    const std::streamsize got = std::stringbuf::xsgetn(buffer, maxChunk ? std::min<std::streamsize>(count, maxChunk) : count);
    delivered += got;
    return got;
  }
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override {
    if (!seekable) return pos_type(off_type(-1));
    ++seeks;
    return std::stringbuf::seekoff(offset, direction, std::ios_base::in);
  }
  pos_type seekpos(pos_type to, std::ios_base::openmode which) override { return seekoff(to, std::ios_base::beg, which); }
};

// A reader over the bytes of file that stops at the wanted part types.
struct Walk {
  Walk(const std::string& file, std::vector<uint32_t> wanted, bool hashing = false, std::streambuf* tee = nullptr,
       bool seekable = true)
      : source(file, seekable), input(&source), reader(input, hashing, tee) {
    reader.wantedTypes = std::move(wanted);
  }
  ByteSource source;
  std::istream input;
  PackageReader reader;
};

std::string sampleData(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = "abcdefgh"[(i * i / 7 + i / 13) % 8];
  return data;
}

std::string readAll(std::istream& in) {
  std::string out;
  char buffer[1000];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) out.append(buffer, in.gcount());
  return out;
}

struct Inflating {
  explicit Inflating(const std::string& compressed, size_t maxChunk = 0)
      : source(compressed, true, maxChunk), input(&source), stream(input) {}
  ByteSource source;
  std::istream input;
  InflateStream stream;
};

// Whatever size the source delivers, data after the end of the zlib stream
// is not handed out. What came out before damage or a cut is handed out;
// nothing after it.
TEST(InflateStream, DecompressesUpToTheEndOrDamage) {
  const std::string data = sampleData(100000);
  for (size_t chunk : {size_t(0), size_t(7), size_t(4096)}) {
    Inflating inflating(testpkg::compress(data) + "trailing", chunk);
    EXPECT_TRUE(data == readAll(inflating.stream)) << chunk;
    EXPECT_TRUE(inflating.stream.eof());
  }
  Inflating empty("");
  EXPECT_EQ(std::char_traits<char>::eof(), empty.stream.get());
  EXPECT_TRUE(empty.stream.fail());

  // A zlib header and a stored block of the first 10000 bytes, then a block
  // header of the reserved type.
  const std::string damaged = std::string("\x78\x01\x00", 3) + le16(10000) + le16(uint16_t(~10000)) + data.substr(0, 10000);
  Inflating corrupt(damaged + '\x07' + testpkg::compress(data));
  EXPECT_TRUE(data.substr(0, 10000) == readAll(corrupt.stream));
  EXPECT_TRUE(corrupt.stream.fail());
  const std::string compressed = testpkg::compress(data);
  Inflating truncated(compressed.substr(0, compressed.size() / 2));
  const std::string got = readAll(truncated.stream);
  EXPECT_LT(got.size(), data.size());
  EXPECT_TRUE(data.substr(0, got.size()) == got);
}

// Forward only; the last byte read can still be put back after a refill.
TEST(InflateStream, SeeksForwardAndPutsBackOneByte) {
  const std::string data = sampleData(30000);
  Inflating inflating(testpkg::compress(data));
  std::istream& in = inflating.stream;
  const auto seekFails = [&in](std::streamoff offset, std::ios_base::seekdir from) {
    const bool failed = !in.seekg(offset, from);
    in.clear();
    return failed;
  };
  std::string first(4096, '\0');
  in.read(&first[0], first.size());
  in.peek();  // decompresses the next chunk
  in.unget();
  EXPECT_TRUE(in.good());
  EXPECT_EQ(data[4095], char(in.get()));
  in.seekg(5000, std::ios_base::cur);
  EXPECT_EQ(9096, in.tellg());
  EXPECT_EQ(data[9096], char(in.get()));
  in.seekg(12345);
  EXPECT_EQ(12345, in.tellg());
  EXPECT_EQ(data[12345], char(in.get()));
  EXPECT_TRUE(seekFails(100, std::ios_base::beg));
  EXPECT_TRUE(seekFails(-1, std::ios_base::cur));
  EXPECT_TRUE(seekFails(0, std::ios_base::end));
  EXPECT_EQ(data[12346], char(in.get()));
  EXPECT_TRUE(seekFails(data.size() - 12347 + 1, std::ios_base::cur));  // one past the end
}

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

// A record in one line, versions and list bounds in hexadecimal.
std::string describe(const Package& p) {
  std::ostringstream out;
  out << p.name << std::hex << " " << p.version << std::dec << " " << p.buildTime << " " << p.flags
      << (p.isBundle ? " bundle" : "") << (p.isImage ? " image" : "") << " " << p.architecture;
  for (const auto& [tag, text] : {std::make_pair(" t24:", &p.partText24), {" t2:", &p.partText2}, {" note:", &p.note}})
    if (!text->empty()) out << tag << *text;
  for (const auto& [tag, list] : {std::make_pair(" d:", &p.deps), {" p:", &p.provides}, {" c:", &p.conflicts}})
    for (const DependencyEntry& e : *list) out << tag << e.name << std::hex << ":" << e.min << ":" << e.max << std::dec << ":" << e.extra;
  return out.str();
}

// Whether readPackageInfo took the parts, the reader standing on the first,
// the record, and the part it left the reader on.
std::string info(const std::string& parts, bool seekable = true, size_t* largestRequest = nullptr) {
  Walk walk(packageFile(parts), {BundleHeader, PackageHeader, Text24, Architecture, Text2, Note, Dependencies, Provides,
                                 Conflicts, Image}, true, nullptr, seekable);
  walk.reader.nextPart();
  Package package("before");
  const bool ok = readPackageInfo(package, walk.reader);
  if (largestRequest) *largestRequest = walk.source.largestRequest;
  return std::to_string(ok) + " " + describe(package) + " @" + std::to_string(walk.reader.currentType());
}

// 36 bytes with the flags word, 32 without, a 16-byte name without NUL and
// bytes after a NUL; a header cut short, not first, or whose name cannot be
// a directory name leaves the record as it was. Metadata parts are taken
// in their fixed order: one behind its place keeps its default. Reference
// lists cut short, or naming what the database's lists cannot hold (an
// empty name, white space), fail.
TEST(ReadPackageInfo, HeadersMetadataAndLists) {
  const std::string x = part(PackageHeader, headerData("x", 7));
  std::string padded = headerData("", 1);
  padded.replace(0, 16, std::string("dhcp\0garbage!!!!", 16));
  const std::string deps = refListData({{"system", 0x06300000, 0x06400000, 0}, {"ppp", 0, 0, -2}});
  const struct {
    std::string parts, expected;
  } rows[] = {
      {part(PackageHeader, headerData("system", 0x06310000, 1700000000, 3) + "ignored"),
       "1 system 6310000 1700000000 3 i386 @-1"},
      {part(BundleHeader, headerData("abcdefghijklmnop", 5, 6)), "1 abcdefghijklmnop 5 6 0 bundle i386 @-1"},
      {part(PackageHeader, padded), "1 dhcp 1 0 0 i386 @-1"},
      {part(PackageHeader, headerData("ppp", 1).substr(0, 31)), "0 before 0 0 0  @1"},
      {part(Note, "n") + part(PackageHeader, headerData("ppp", 1)), "0 before 0 0 0  @23"},
      {x + part(Text24, "t24") + part(Architecture, "armv7") + part(7, "unknown") + part(Text2, std::string("a\0b", 3)) +
           part(Note, "note") + part(Dependencies, deps) + part(Provides, refListData({{"wlan", 1, 2, 3}})) +
           part(Conflicts, refListData({{"old", 0, 5, 0}}) + "trailing bytes") + part(Image, "img") + part(Files, "f"),
       std::string("1 x 7 0 0 image armv7 t24:t24 t2:a\0b", 36) +
           " note:note d:system:6300000:6400000:0 d:ppp:0:0:-2 p:wlan:1:2:3 c:old:0:5:0 @21"},
      {x + part(Dependencies, deps) + part(Architecture, "armv7"), "1 x 7 0 0 i386 d:system:6300000:6400000:0 d:ppp:0:0:-2 @16"},
      {x + part(Dependencies, deps.substr(0, 2 + 32 + 31)), "0 x 7 0 0 i386 d:system:6300000:6400000:0 @3"},
      {x + part(Provides, "\x01"), "0 x 7 0 0 i386 @19"},
      {x + part(Conflicts, le16(0)), "1 x 7 0 0 i386 @-1"},
      {x + part(Dependencies, refListData({{"ok", 1, 2, 0}, {"", 1, 2, 0}})), "0 x 7 0 0 i386 d:ok:1:2:0 @3"},
      {x + part(Provides, refListData({{"two words", 1, 2, 0}})), "0 x 7 0 0 i386 @19"},
      {x + part(Conflicts, refListData({{"tab\there", 0, 5, 0}})), "0 x 7 0 0 i386 @17"},
      {x + part(Conflicts, refListData({{"ctl\x01ok", 0, 5, 0}})), "1 x 7 0 0 i386 c:ctl\x01ok:0:5:0 @-1"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.expected, info(row.parts)) << &row - rows;
  for (const char* name : {"", ".", "..", "a/b", "/", "two words", "line\n", "del\x7f"})
    EXPECT_EQ("0 before 0 0 0  @1", info(part(PackageHeader, headerData(name, 0x06310000, 9, 1)))) << name;
  for (const char* name : {"...", ".hidden", "net-tools-2"})
    EXPECT_EQ('1', info(part(PackageHeader, headerData(name, 1)))[0]) << name;
  // A length near 4 GiB on a stream that cannot be measured beforehand:
  // the text grows only with the bytes that arrive.
  size_t largest = 0;
  EXPECT_EQ("1 ppp 7 0 0 i386 note:ten bytes! @-1",
            info(part(PackageHeader, headerData("ppp", 7)) + le16(Note) + le32(0xFFFFFFF0) + "ten bytes!", false, &largest));
  EXPECT_LE(largest, 16384u);
}

// The members of a bundle each with their metadata, Image parts passed
// over. Files cut short or grown, foreign, without a header, a bundle
// without members or with a bad one, a directory and a missing file are
// refused.
TEST(ReadPackageFile, PackagesBundlesAndBrokenFiles) {
  PrivateRoot root;
  const std::string good = packageFile(part(PackageHeader, headerData("dhcp", 1)));
  const std::string bundle = part(BundleHeader, headerData("base", 1));
  const std::string member = part(PackageHeader, headerData("system", 0x06310000)) + part(Image, "img") +
                             part(Files, "payload") + part(Signature, std::string(132, 's'));
  const std::string rows[][2] = {
      {packageFile(part(PackageHeader, headerData("dhcp", 0x06310000, 10)) + part(Files, "zz"), kUntrackedMagic),
       "dhcp 6310000 10 0 i386 untracked 54"},
      {packageFile(bundle + part(BundleList, refListData({{"system", 0, 0, 0}})) + part(Image, "") + member +
                   part(PackageHeader, headerData("dhcp", 2)) + part(Architecture, "armv7") + part(Files, "x")),
       "base 1 0 0 bundle image i386 346 | system 6310000 0 0 image i386 | dhcp 2 0 0 armv7"},
      {good + "x", ""}, {good.substr(0, good.size() - 1), ""}, {good.substr(0, 5), ""},
      {packageFile(part(PackageHeader, headerData("dhcp", 1)), 0x12345678), ""},
      {packageFile(part(Note, "no header")), ""}, {packageFile(bundle + part(Files, "no members")), ""},
      {packageFile(bundle + part(PackageHeader, headerData("ok", 1)) + part(PackageHeader, headerData("a/b", 1))), ""},
  };
  root.makeDir("/directory.npk");
  for (size_t i = 0; i <= std::size(rows) + 1; ++i) {
    const std::string path = i < std::size(rows) ? "/" + std::to_string(i) + ".npk" : i > std::size(rows) ? "/missing" : "/directory.npk";
    if (i < std::size(rows)) root.write(path, rows[i][0]);
    PackageFile file("");
    std::string got;
    if (readPackageFile(file, root.host(path))) {
      got = describe(file) + (file.isUntracked ? " untracked " : " ") + std::to_string(file.fileSize);
      for (const Package* m : file.members) got += " | " + describe(*m);
    }
    EXPECT_EQ(i < std::size(rows) ? rows[i][1] : "", got) << path;
  }
}

// With the standard round constants and initial words the package hash is
// SHA-256, at every length around the padding boundaries of one and two
// blocks. (The test key's own table is pinned by the known legacy signature.)
TEST(CustomSha256, StandardTableGivesSha256) {
  const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
      0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
      0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
      0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
      0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
      0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
      0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  const uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<uint8_t> message;
  for (size_t length = 0; length <= 140; ++length) {
    uint8_t expected[32], actual[32];
    EVP_Digest(message.data(), message.size(), expected, nullptr, EVP_sha256(), nullptr);
    customSha256({k, h}, message.data(), message.size(), actual);
    EXPECT_EQ(0, memcmp(expected, actual, 32)) << "length " << length;
    message.push_back(static_cast<uint8_t>(length * 13 + 5));
  }
}

using Bytes32 = std::array<uint8_t, 32>;

Bytes32 bytesOf(const FieldElement& f) {
  Bytes32 out;
  feToBytes(f, out.data());
  return out;
}

FieldElement fe(const Bytes32& bytes) { return feFromBytes(bytes.data()); }

// The lowest byte, every byte between and the top byte.
Bytes32 value(uint8_t low, uint8_t middle = 0, uint8_t high = 0) {
  Bytes32 v;
  v.fill(middle);
  v[0] = low;
  v[31] = high;
  return v;
}

const Bytes32 kPMinus1 = value(0xec, 0xff, 0x7f), kP = value(0xed, 0xff, 0x7f);

// Around p and 2^255, where reduction goes wrong first (bit 255 is no part
// of the number), and products that wrap past 2^255.
TEST(FieldElement, ReducesFully) {
  EXPECT_EQ(kPMinus1, bytesOf(fe(kPMinus1)));
  EXPECT_EQ(value(0), bytesOf(fe(kP)));
  EXPECT_EQ(value(1), bytesOf(fe(value(0xee, 0xff, 0x7f))));
  EXPECT_EQ(value(18), bytesOf(fe(value(0xff, 0xff, 0x7f))));
  EXPECT_EQ(value(18), bytesOf(fe(value(0xff, 0xff, 0xff))));
  EXPECT_EQ(value(1), bytesOf(feMul(fe(kPMinus1), fe(kPMinus1))));
  EXPECT_EQ(value(1), bytesOf(feSquare(fe(kPMinus1))));
  EXPECT_EQ(value(38), bytesOf(feMulSmall(fe(value(0, 0, 0x40)), 4)));  // 2^256
  EXPECT_EQ(kPMinus1, bytesOf(feNeg(feFromInt(1))));
}

// The test keys, those the installer is built with.
const KeyFile& keys() {
  static KeyFile keys;
  std::string error;
  if (!keys.present) {
    EXPECT_TRUE(readKeyFile(TEST_KEY_FILE, keys, error)) << error;
  }
  return keys;
}

LegacyPublicKey testKey() { return {keys().legacyPublic, keys().hashTable()}; }

// The order l of the base point B, little-endian.
const std::vector<uint8_t> kOrder = fromHex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");

// u([s]P0 - [k]B) where the answer is known: the neutral point (u = 0), P0
// itself, and -B (u = 9), with s or k one or l + 1. A key that is the point
// of order 2 (u = 0) or on no point (u = 2) is refused.
TEST(LegacySignature, CombinationAtKnownPoints) {
  Bytes32 key, zero{}, one{1}, nine{9}, order, orderPlus1, u;
  memcpy(key.data(), keys().legacyPublic, 32);
  std::copy(kOrder.begin(), kOrder.end(), order.begin());
  orderPlus1 = order;
  ++orderPlus1[0];
  for (const auto& [s, k, expected] : {std::make_tuple(zero, zero, zero), {order, order, zero}, {one, zero, key},
                                       {orderPlus1, zero, key}, {zero, one, nine}, {zero, orderPlus1, nine}}) {
    ASSERT_TRUE(legacyCombination(key.data(), s.data(), k.data(), u.data()));
    EXPECT_EQ(expected, u);
  }
  EXPECT_FALSE(legacyCombination(zero.data(), one.data(), one.data(), u.data()));
  EXPECT_FALSE(legacyCombination(Bytes32{2}.data(), one.data(), one.data(), u.data()));
}

// A signature of the test key made once by a separate implementation of the
// scheme: pins the challenge (r mixed into bytes 8..23, the clamping, here
// of a hash whose bit 255 is set) and the byte order of s. Random secrets
// give P0 = [x]B or P0 = [-x]B; the signer must pick the sign that the
// check uses in both cases.
TEST(LegacySignature, KnownAndSignedDigestsCheck) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0x31 + i);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest,
                                   fromHex("00000000000000000000000000000000000000006a83ef0ebb793b5f7491eeae36d1a4f1"
                                           "14b94cf8f8c03be4fa810ddb2bfadfe3875242882d338bfbb5fa1d36395f6b02")
                                       .data()));
  std::mt19937 random(2);
  for (int i = 0; i < 16; ++i) {
    Bytes32 secret, key;
    for (uint8_t& b : secret) b = uint8_t(random());
    for (uint8_t& b : digest) b = uint8_t(random());
    uint8_t signature[68];
    ASSERT_TRUE(legacyPublicKey(secret.data(), key.data()));
    ASSERT_TRUE(legacySign(secret.data(), keys().hashTable(), digest, signature));
    EXPECT_TRUE(legacySignatureValid({key.data(), keys().hashTable()}, digest, signature)) << i;
  }
}

// The signature covers the first 20 bytes of the digest buffer, all a SHA-1
// digest has; every bit of them, of r and of s counts; the rest of either
// is not looked at. s + l is the same multiplier of P0 and is accepted;
// s + 4l reaches 2^254 and is refused although it gives the same point.
TEST(LegacySignature, AnyChangedBitAndLargeScalarsAreRefused) {
  uint8_t digest[32] = {0};
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<uint8_t>(0xa5 ^ i);
  uint8_t signature[68];
  ASSERT_TRUE(legacySign(keys().legacySecret, keys().hashTable(), digest, signature));
  for (int bit = 0; bit < 68 * 8; ++bit) {
    uint8_t* byte = bit < 160 ? &digest[bit / 8] : &signature[bit / 8];
    *byte ^= 1 << (bit % 8);
    EXPECT_FALSE(legacySignatureValid(testKey(), digest, signature)) << "bit " << bit;
    *byte ^= 1 << (bit % 8);
  }
  memset(digest + 20, 0xff, 12);
  memset(signature, 0xff, 20);
  EXPECT_TRUE(legacySignatureValid(testKey(), digest, signature));
  for (const unsigned times : {1, 3}) {
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
      carry += signature[36 + i] + times * kOrder[i];
      signature[36 + i] = static_cast<uint8_t>(carry);
      carry >>= 8;
    }
    EXPECT_EQ(times == 1, signature[67] < 0x40);
    EXPECT_EQ(times == 1, legacySignatureValid(testKey(), digest, signature));
  }
}

// The test keys with the line of item replaced, or emptied.
std::string editedKeys(const std::string& item, const std::string& replacement, std::string text = "") {
  if (text.empty()) {
    std::ifstream in(TEST_KEY_FILE);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  return std::regex_replace(text, std::regex("\n" + item + " [^\n]*"), "\n" + replacement);
}

// Faults name the file and the item. A release key file may hold only the
// public items, here with CR LF line ends; the signing items are then asked
// for explicitly.
TEST(KeyFile, ItemsFaultsAndWhatIsRequired) {
  const std::string zeros(64, '0');
  const std::string publicOnly = std::regex_replace(
      editedKeys("legacy-secret", "", editedKeys("eddsa-seed", "")), std::regex("\n"), "\r\n");
  const struct {
    std::string text;
    unsigned required;
    std::string message;
  } rows[] = {
      {editedKeys("legacy-public", ""), KEY_ALL_ITEMS, "legacy-public: missing"},
      {editedKeys("eddsa-public", "eddsa-public 3d25"), KEY_ALL_ITEMS, "eddsa-public: values must be 64"},
      {editedKeys("legacy-secret", "legacy-secret " + zeros.substr(1) + "g"), KEY_ALL_ITEMS,
       "legacy-secret: values must be 64"},
      {editedKeys("sha256-h", "sha256-h 2fe4e6c9 615f1a61"), KEY_ALL_ITEMS, "sha256-h: 2 values, expected 8"},
      {editedKeys("eddsa-seed", "eddsa-seed " + zeros + "\neddsa-seed " + zeros), KEY_ALL_ITEMS,
       "eddsa-seed: given twice"},
      {editedKeys("eddsa-seed", "eddsa-sed 00"), KEY_ALL_ITEMS, "eddsa-sed: unknown item"},
      // Public halves that do not belong to the private ones.
      {editedKeys("legacy-public", "legacy-public " + zeros), KEY_ALL_ITEMS,
       "legacy-public: does not belong to legacy-secret"},
      {editedKeys("eddsa-public", "eddsa-public " + zeros), KEY_ALL_ITEMS,
       "eddsa-public: does not belong to eddsa-seed"},
      {publicOnly, KEY_ALL_ITEMS, "eddsa-seed: missing"},
      {publicOnly, KEY_PUBLIC_ITEMS, ""},
  };
  PrivateRoot dir;  // a scratch directory
  for (const auto& row : rows) {
    const std::string path = dir.host("/keys-" + std::to_string(&row - rows) + ".txt");
    std::ofstream(path) << row.text;
    KeyFile keys;
    std::string error;
    EXPECT_EQ(row.message.empty(), readKeyFile(path, keys, error, row.required)) << row.message;
    if (row.message.empty())
      EXPECT_EQ(0xb119af45u, keys.hashInitialWords[7]);
    else
      EXPECT_EQ(0u, error.find("key file " + path + ": " + row.message)) << error;
  }
}

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
// part's own header, made with the test keys: the legacy signature, then
// the EdDSA one.
std::string signaturePart(const std::string& covered, bool sha256, uint32_t length = 140) {
  const std::string header = le16(Signature) + le32(length), signedBytes = covered + header;
  unsigned char digest[EVP_MAX_MD_SIZE] = {0};
  EVP_Digest(signedBytes.data(), signedBytes.size(), digest, nullptr, sha256 ? EVP_sha256() : EVP_sha1(), nullptr);
  std::vector<uint8_t> data;
  EXPECT_TRUE(makeSignaturePart(keys(), digest, true, data));
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
