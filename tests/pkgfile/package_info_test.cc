#include "pkgfile/package_info.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pkgfile/byte_source.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using testpkg::headerData;
using testpkg::le16;
using testpkg::le32;
using testpkg::packageFile;
using testpkg::part;
using testpkg::refListData;

// readPackageInfo on a reader standing on the first of the parts.
struct InfoRead : Walk {
  explicit InfoRead(const std::string& parts, bool seekable = true)
      : Walk(packageFile(parts),
             {BundleHeader, PackageHeader, Text24, Architecture, Text2, Note, Dependencies, Provides,
              Conflicts, Image},
             true, nullptr, seekable) {
    reader.nextPart();
    ok = readPackageInfo(package, reader);
  }
  Package package{"before"};
  bool ok = false;
};

// name:min:max:extra of each entry, the versions in hexadecimal.
std::string listed(const std::vector<DependencyEntry>& list) {
  std::ostringstream out;
  for (const DependencyEntry& e : list)
    out << e.name << std::hex << ":" << e.min << ":" << e.max << std::dec << ":" << e.extra << " ";
  return out.str();
}

// Whether readPackageInfo took the parts, and the record's header fields and note.
std::string summary(const std::string& parts) {
  const InfoRead read(parts);
  const Package& p = read.package;
  std::ostringstream out;
  out << read.ok << " " << p.name << std::hex << " " << p.version << std::dec << " " << p.buildTime << " "
      << p.flags << (p.isBundle ? " bundle " : " package ") << p.note;
  return out.str();
}

// 36 bytes with the flags word, 32 without, a 16-byte name without NUL and
// bytes after a NUL; a header cut short, or not first, leaves the record as
// it was.
TEST(ReadPackageInfo, HeaderLayouts) {
  EXPECT_EQ("1 system 6310000 1700000000 3 package n",
            summary(part(PackageHeader, headerData("system", 0x06310000, 1700000000, 3) + "ignored") +
                    part(Note, "n")));
  EXPECT_EQ("1 abcdefghijklmnop 5 6 0 bundle n",
            summary(part(BundleHeader, headerData("abcdefghijklmnop", 5, 6)) + part(Note, "n")));
  std::string padded = headerData("", 1);
  padded.replace(0, 16, std::string("dhcp\0garbage!!!!", 16));
  EXPECT_EQ("1 dhcp 1 0 0 package ", summary(part(PackageHeader, padded)));
  EXPECT_EQ("0 before 0 0 0 package ", summary(part(PackageHeader, headerData("ppp", 1).substr(0, 31))));
  EXPECT_EQ("0 before 0 0 0 package ", summary(part(Note, "n") + part(PackageHeader, headerData("ppp", 1))));
}

TEST(ReadPackageInfo, RefusesNamesThatCannotBeDirectoryNames) {
  for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                  std::string("/"), std::string("two words"), std::string("line\n"),
                                  std::string("del\x7f")})
    EXPECT_EQ("0 before 0 0 0 package ", summary(part(PackageHeader, headerData(name, 0x06310000, 9, 1))))
        << name;
  for (const std::string name : {"...", ".hidden", "net-tools-2"})
    EXPECT_TRUE(InfoRead(part(PackageHeader, headerData(name, 1))).ok) << name;
}

TEST(ReadPackageInfo, TakesMetadataInItsFixedOrder) {
  const std::vector<DependencyEntry> deps = {{"system", 0x06300000, 0x06400000, 0}, {"ppp", 0, 0, -2}};
  InfoRead all(part(PackageHeader, headerData("wifi", 7)) + part(Text24, "t24") +
               part(Architecture, "armv7") + part(7, "unknown") + part(Text2, std::string("a\0b", 3)) +
               part(Note, "note") + part(Dependencies, refListData(deps)) +
               part(Provides, refListData({{"wlan", 1, 2, 3}})) +
               part(Conflicts, refListData({{"old", 0, 5, 0}}) + "trailing bytes") + part(Image, "img") +
               part(Files, "payload"));
  ASSERT_TRUE(all.ok);
  const Package& p = all.package;
  EXPECT_EQ("t24", p.partText24);
  EXPECT_EQ("armv7", p.architecture);
  EXPECT_EQ(std::string("a\0b", 3), p.partText2);
  EXPECT_EQ("note", p.note);
  EXPECT_EQ("system:6300000:6400000:0 ppp:0:0:-2 ", listed(p.deps));
  EXPECT_EQ("wlan:1:2:3 ", listed(p.provides));
  EXPECT_EQ("old:0:5:0 ", listed(p.conflicts));
  EXPECT_TRUE(p.isImage);
  EXPECT_EQ(Image, all.reader.currentType());

  // A part behind its place in the order is not taken.
  InfoRead late(part(PackageHeader, headerData("ppp", 7)) + part(Dependencies, refListData(deps)) +
                part(Architecture, "armv7") + part(Note, "n"));
  ASSERT_TRUE(late.ok);
  EXPECT_EQ("i386", late.package.architecture);
  EXPECT_EQ(2u, late.package.deps.size());
  EXPECT_EQ("", late.package.note);
  EXPECT_EQ(Architecture, late.reader.currentType());
}

TEST(ReadPackageInfo, ReferenceListsCutShortFail) {
  const std::string header = part(PackageHeader, headerData("x", 7));
  const std::string twoPromised = refListData({{"system", 1, 2, 0}, {"ppp", 1, 2, 0}});
  EXPECT_FALSE(InfoRead(header + part(Dependencies, twoPromised.substr(0, 2 + 32 + 31))).ok);
  EXPECT_FALSE(InfoRead(header + part(Provides, "\x01")).ok);
  EXPECT_TRUE(InfoRead(header + part(Conflicts, le16(0))).ok);
}

TEST(ReadPackageInfo, TextGrowsOnlyWithTheBytesThatArrive) {
  // A length near 4 GiB on a stream that cannot be measured beforehand.
  InfoRead read(part(PackageHeader, headerData("ppp", 7)) + le16(Note) + le32(0xFFFFFFF0) + "ten bytes!",
                false);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ("ten bytes!", read.package.note);
  EXPECT_LE(read.source.largestRequest(), 16384u);  // nothing the size of the declared length
}

// The members of a bundle each with their metadata, Image parts passed over.
TEST(ReadPackageFile, StandaloneAndBundle) {
  PrivateRoot root;
  const std::string bytes = packageFile(part(PackageHeader, headerData("dhcp", 0x06310000, 10)) +
                                            part(Files, "zz") + part(Signature, std::string(68, 's')),
                                        testpkg::kUntrackedMagic);
  root.write("/tmp/dhcp.npk", bytes);
  PackageFile file("");
  ASSERT_TRUE(readPackageFile(file, root.host("/tmp/dhcp.npk")));
  EXPECT_EQ("dhcp", file.name);
  EXPECT_EQ(bytes.size(), file.fileSize);
  EXPECT_TRUE(file.isUntracked);
  EXPECT_FALSE(file.isBundle);

  const std::string member1 = part(PackageHeader, headerData("system", 0x06310000)) + part(Image, "img") +
                              part(Files, "payload") + part(Signature, std::string(132, 's'));
  const std::string member2 = part(PackageHeader, headerData("dhcp", 0x06310000)) +
                              part(Architecture, "armv7") + part(Files, "payload");
  root.write("/tmp/base.npk", packageFile(part(BundleHeader, headerData("base", 1)) +
                                          part(BundleList, refListData({{"system", 0, 0, 0}})) +
                                          part(Image, "") + member1 + member2));
  PackageFile bundle("");
  ASSERT_TRUE(readPackageFile(bundle, root.host("/tmp/base.npk")));
  EXPECT_TRUE(bundle.isBundle);
  EXPECT_TRUE(bundle.isImage);
  ASSERT_EQ(2u, bundle.members.size());
  EXPECT_TRUE(bundle.members[0]->isImage);
  EXPECT_EQ("dhcp", bundle.members[1]->name);
  EXPECT_EQ("armv7", bundle.members[1]->architecture);
}

// Files cut short or grown, foreign, without a header, a bundle without
// members or with a bad one, a missing file and a directory.
TEST(ReadPackageFile, RefusesBrokenFiles) {
  PrivateRoot root;
  const std::string good = packageFile(part(PackageHeader, headerData("dhcp", 1)));
  const std::string bundle = part(BundleHeader, headerData("base", 1));
  const std::vector<std::string> broken = {
      good + "x",
      good.substr(0, good.size() - 1),
      good.substr(0, 5),
      packageFile(part(PackageHeader, headerData("dhcp", 1)), 0x12345678),
      packageFile(part(Note, "no header")),
      packageFile(bundle + part(Files, "no members")),
      packageFile(bundle + part(PackageHeader, headerData("ok", 1)) + part(PackageHeader, headerData("a/b", 1))),
  };
  root.makeDir("/tmp/directory.npk");
  std::vector<std::string> paths = {root.host("/tmp/missing.npk"), root.host("/tmp/directory.npk")};
  for (size_t i = 0; i < broken.size(); ++i) {
    root.write("/tmp/" + std::to_string(i) + ".npk", broken[i]);
    paths.push_back(root.host("/tmp/" + std::to_string(i) + ".npk"));
  }
  for (const std::string& path : paths) {
    PackageFile file("");
    EXPECT_FALSE(readPackageFile(file, path)) << path;
  }
}

}  // namespace
