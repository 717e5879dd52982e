#include "pkgfile/package_info.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pkgfile/byte_source.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using namespace testpkg;

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

}  // namespace
