#include "pkgfile/package_info.h"

#include <gtest/gtest.h>

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
struct InfoRead {
  explicit InfoRead(const std::string& parts, bool seekable = true)
      : source(packageFile(parts), seekable), input(&source), reader(input, true, nullptr) {
    reader.wantedTypes = {BundleHeader, PackageHeader, Text24,    Architecture, Text2,
                          Note,         Dependencies,  Provides, Conflicts,    Image};
    reader.nextPart();
    ok = readPackageInfo(package, reader);
  }
  ByteSource source;
  std::istream input;
  PackageReader reader;
  Package package{"before"};
  bool ok = false;
};

TEST(ReadPackageInfo, HeaderLayouts) {
  InfoRead full(part(PackageHeader, headerData("system", 0x06310000, 1700000000, 3) + "ignored") +
                part(Note, "n"));
  ASSERT_TRUE(full.ok);
  EXPECT_EQ("system", full.package.name);
  EXPECT_EQ(0x06310000u, full.package.version);
  EXPECT_EQ(1700000000u, full.package.buildTime);
  EXPECT_EQ(3u, full.package.flags);
  EXPECT_FALSE(full.package.isBundle);
  EXPECT_EQ("n", full.package.note);

  // Without the flags word the parts after the header are still taken.
  InfoRead noFlags(part(BundleHeader, headerData("abcdefghijklmnop", 5, 6)) + part(Note, "n"));
  ASSERT_TRUE(noFlags.ok);
  EXPECT_EQ("abcdefghijklmnop", noFlags.package.name);
  EXPECT_TRUE(noFlags.package.isBundle);
  EXPECT_EQ(0u, noFlags.package.flags);
  EXPECT_EQ("n", noFlags.package.note);

  std::string padded = headerData("", 1);
  padded.replace(0, 16, std::string("dhcp\0garbage!!!!", 16));
  InfoRead afterNul(part(PackageHeader, padded));
  ASSERT_TRUE(afterNul.ok);
  EXPECT_EQ("dhcp", afterNul.package.name);

  InfoRead cut(part(PackageHeader, headerData("ppp", 1).substr(0, 31)));
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ("before", cut.package.name);
  EXPECT_FALSE(InfoRead(part(Note, "n") + part(PackageHeader, headerData("ppp", 1))).ok);
}

TEST(ReadPackageInfo, RefusesNamesThatCannotBeDirectoryNames) {
  for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                  std::string("/"), std::string("two words"), std::string("line\n"),
                                  std::string("del\x7f")}) {
    InfoRead read(part(PackageHeader, headerData(name, 0x06310000, 9, 1)));
    EXPECT_FALSE(read.ok) << name;
    EXPECT_EQ("before", read.package.name);  // the record is left as it was
    EXPECT_EQ(0u, read.package.version);
  }
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
  ASSERT_EQ(2u, p.deps.size());
  EXPECT_EQ("system", p.deps[0].name);
  EXPECT_EQ(0x06300000u, p.deps[0].min);
  EXPECT_EQ(0x06400000u, p.deps[0].max);
  EXPECT_EQ(-2, p.deps[1].extra);
  ASSERT_EQ(1u, p.provides.size());
  EXPECT_EQ(3, p.provides[0].extra);
  ASSERT_EQ(1u, p.conflicts.size());
  EXPECT_EQ(5u, p.conflicts[0].max);
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

  InfoRead list(part(Dependencies, refListData({{"b", 2, 3, 4}})));
  std::vector<DependencyEntry> entries = {{"a", 0, 0, 0}};
  ASSERT_TRUE(readRefList(list.reader, entries));
  ASSERT_EQ(2u, entries.size());  // appended
  EXPECT_EQ("b", entries[1].name);
}

TEST(ReadPackageInfo, TextGrowsOnlyWithTheBytesThatArrive) {
  // A length near 4 GiB on a stream that cannot be measured beforehand.
  InfoRead read(part(PackageHeader, headerData("ppp", 7)) + le16(Note) + le32(0xFFFFFFF0) + "ten bytes!",
                false);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ("ten bytes!", read.package.note);
}

class ReadPackageFile : public ::testing::Test {
 protected:
  std::string write(const std::string& bytes) {
    root.write("/tmp/package.npk", bytes);
    return root.host("/tmp/package.npk");
  }
  PrivateRoot root;
};

TEST_F(ReadPackageFile, StandalonePackage) {
  const std::string bytes = packageFile(part(PackageHeader, headerData("dhcp", 0x06310000, 10)) +
                                            part(Files, "zz") + part(Signature, std::string(68, 's')),
                                        testpkg::kUntrackedMagic);
  const std::string path = write(bytes);
  PackageFile file("");
  ASSERT_TRUE(readPackageFile(file, path));
  EXPECT_EQ("dhcp", file.name);
  EXPECT_EQ(path, file.path);
  EXPECT_EQ(path, file.sourcePath);
  EXPECT_EQ(bytes.size(), file.fileSize);
  EXPECT_EQ("i386", file.architecture);
  EXPECT_TRUE(file.isUntracked);
  EXPECT_FALSE(file.isBundle);
}

TEST_F(ReadPackageFile, RefusesBrokenFiles) {
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
  for (size_t i = 0; i < broken.size(); ++i) {
    PackageFile file("");
    EXPECT_FALSE(readPackageFile(file, write(broken[i]))) << i;
  }
  PackageFile missing("");
  EXPECT_FALSE(readPackageFile(missing, root.host("/tmp/missing.npk")));
}

TEST_F(ReadPackageFile, BundleWithMembers) {
  const std::string member1 = part(PackageHeader, headerData("system", 0x06310000, 1, 1)) +
                              part(Architecture, "armv7") + part(Files, "payload") +
                              part(Signature, std::string(132, 's'));
  const std::string member2 = part(PackageHeader, headerData("dhcp", 0x06310000)) + part(Image, "img") +
                              part(Files, "payload") + part(Signature, std::string(68, 's'));
  PackageFile file("");
  ASSERT_TRUE(readPackageFile(file, write(packageFile(part(BundleHeader, headerData("base", 1)) +
                                                      part(BundleList, refListData({{"system", 0, 0, 0}})) +
                                                      part(Image, "") + member1 + member2))));
  EXPECT_TRUE(file.isBundle);
  EXPECT_TRUE(file.isImage);
  ASSERT_EQ(2u, file.members.size());
  EXPECT_EQ("system", file.members[0]->name);
  EXPECT_EQ(1u, file.members[0]->flags);
  EXPECT_EQ("armv7", file.members[0]->architecture);
  EXPECT_EQ("dhcp", file.members[1]->name);
  EXPECT_TRUE(file.members[1]->isImage);
}

}  // namespace
