// Loading, saving and listing the package database, in private roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "db/database.h"
#include "db/listing.h"
#include "support/package_builder.h"
#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

using namespace testpkg;

using Names = std::vector<std::string>;

// Meta files of a database entry.
void entry(const PrivateRoot& root, const std::string& name,
           std::initializer_list<std::pair<const char*, std::string>> files) {
  for (const auto& [file, content] : files) root.write("/flash/var/pdb/" + name + "/" + file, content);
}

// A record in one line: name, version and build time, relation lists,
// files, bundle, note, flags, marks and request.
std::string describe(const InstalledPackage& package) {
  std::ostringstream out;
  out << package.name << ' ' << package.version << ' ' << package.buildTime;
  for (const auto& [tag, entries] : {std::make_pair(" d:", &package.deps), std::make_pair(" p:", &package.provides),
                                     std::make_pair(" c:", &package.conflicts)})
    for (const DependencyEntry& e : *entries) out << tag << e.name << ',' << e.min << ',' << e.max << ',' << e.extra;
  for (const std::string& file : package.files) out << ' ' << file;
  if (!package.bundle.name.empty()) out << " in:" << package.bundle.name << ',' << package.bundle.min;
  if (!package.note.empty()) out << " note:" << package.note;
  if (package.flags) out << " flags:" << package.flags;
  out << (package.isBundle ? " bundle" : "") << (package.disabled ? " disabled" : "")
      << (package.userForced ? " user" : "") << " request:" << package.scheduled;
  return out.str();
}

// Loads the database inside the root and hands it, with every record
// described and sorted (the directory order is the file system's), to
// check. The load for --show reads only what the listing prints, and
// prints the same table.
void loadAndCheck(const PrivateRoot& root, const std::function<void(PackageDb&, const Names&)>& check) {
  EXPECT_TRUE(runInRoot(root, [&] {
    std::string printed[2];
    for (DatabaseLoad load : {DatabaseLoad::Listing, DatabaseLoad::Full}) {
      PackageDb db;
      loadDatabase(db, true, "powerpc", load);
      testing::internal::CaptureStdout();
      showPackages(db);
      printed[int(load)] = testing::internal::GetCapturedStdout();
      if (load == DatabaseLoad::Listing) continue;
      EXPECT_EQ(printed[0], printed[1]);
      EXPECT_EQ("powerpc", db.systemArch);
      Names described;
      for (const InstalledPackage* package : db.packages) described.push_back(describe(*package));
      std::sort(described.begin(), described.end());
      check(db, described);
    }
  }));
}

void metaEntries(const PrivateRoot& root) {
  entry(root, "system", {{"version", "100859648 1700000000\n"}, {"deps", "plix 1 0\nbase 0 0\n"},
                         {"provides", "kernel 5 7 -2\nhi 0 0 2147483647\nlo 0 0 -2147483648\n"},
                         {"conflicts", "old 0 3\n"}, {"files", "bin/x\n/bin/x\n\n/\n//\nlib/y\n"}, {"disabled", "auto\n"}});
  // Any first line of a mark but "auto" forces, the empty one too.
  entry(root, "ppp", {{"version", "1 2\n"}, {"disabled", "\n"}});
  entry(root, "dhcp", {{"version", "1 2\n"}, {"enabled", "user\n"}, {"files", ""}});
  entry(root, ".hidden", {{"version", "1 2\n"}});
  // Schedules by sanitised name; none for the all-ones record.
  for (const char* name : {"disk-drivers", "my.pkg_x", "gone", "odd", "_."}) entry(root, name, {{"version", "1 2\n"}});
  entry(root, "forever", {{"version", "4294967295 4294967295\n"}});
  entry(root, "almost", {{"version", "4294967295 1\n"}});
  root.write("/ram/pdb/disk-drivers/schedule", "disable\n");
  root.write("/ram/pdb/mypkgx/schedule", "enable");
  root.write("/ram/pdb/gone/schedule", "uninstall\n");
  root.write("/ram/pdb/odd/schedule", "reboot\n");
  root.write("/ram/pdb/forever/schedule", "uninstall\n");
  root.write("/ram/pdb/almost/schedule", "uninstall\n");
  root.write("/ram/pdb/schedule", "disable\n");  // "_." keeps no character
  // Damaged: what was read stays, a failed list does not keep the others
  // from being read; leading zeros are still decimals.
  entry(root, "garbage", {{"version", "\x01\x02zz\xff"}});
  entry(root, "halfway", {{"version", "7 x\n"}});
  entry(root, "huge", {{"version", "99999999999 2\n"}});
  entry(root, "zeros", {{"version", "000000000000100859648 00000000001\n"}});
  entry(root, "signed", {{"version", "1 2\n"}, {"deps", "a -1 2\n"}});
  entry(root, "lists", {{"version", "1 2\n"}, {"deps", "a 1 2\nb 3"}, {"provides", "b 0 0 -3\n"}, {"conflicts", "c 0 0\n"}});
  entry(root, "conflicts", {{"version", "1 2\n"}, {"deps", "a 1 2\n"}, {"provides", "b 0 0 1\n"}, {"conflicts", "c 0 0\nd"}});
  entry(root, "extra-high", {{"version", "1 2\n"}, {"provides", "b 0 0 7\nc 0 0 2147483648\n"}});
  entry(root, "extra-low", {{"version", "1 2\n"}, {"provides", "c 0 0 -2147483649\n"}});
  entry(root, "member", {{"version", "1 2\n"}, {"bundle", "routeros\n"}, {"enabled", "user\n"}});
  root.makeDir("/flash/var/pdb/empty");
  root.write("/flash/var/pdb/plainfile", "not a directory");  // a staged file left by a cut: no package
}

// Meta files, marks and schedules; damaged meta files schedule an
// uninstall. No files list makes a bundle record.
TEST(DatabaseLoad, MetaFilesMarksAndSchedules) {
  PrivateRoot root;
  metaEntries(root);
  const Names expected{"_. 1 2 bundle user request:3",
                       "almost 4294967295 1 bundle request:1",
                       "conflicts 1 2 d:a,1,2,0 p:b,0,0,1 c:c,0,0,0 bundle request:1",
                       "dhcp 1 2 user request:0",
                       "disk-drivers 1 2 bundle user request:3",
                       "empty 0 0 bundle request:1",
                       "extra-high 1 2 p:b,0,0,7 bundle request:1",
                       "extra-low 1 2 bundle request:1",
                       "forever 4294967295 4294967295 bundle request:0",
                       "garbage 0 0 bundle request:1",
                       "gone 1 2 bundle request:1",
                       "halfway 7 0 bundle request:1",
                       "huge 0 0 bundle request:1",
                       "lists 1 2 d:a,1,2,0 p:b,0,0,-3 c:c,0,0,0 bundle request:1",
                       "member 1 2 in:routeros,0 bundle user request:1",
                       "my.pkg_x 1 2 bundle user request:2",
                       "odd 1 2 bundle request:0",
                       "ppp 1 2 bundle disabled user request:0",
                       "signed 1 2 bundle request:1",
                       "system 100859648 1700000000 d:plix,1,0,0 d:base,0,0,0 p:kernel,5,7,-2 p:hi,0,0,2147483647 "
                       "p:lo,0,0,-2147483648 c:old,0,3,0 /bin/x /lib/y disabled request:0",
                       "zeros 100859648 1 bundle request:0"};
  loadAndCheck(root, [&](PackageDb&, const Names& described) { EXPECT_EQ(expected, described); });
  // The same entries read from a copy elsewhere, here where they lie on the
  // host, load the same.
  Names fromCopy;
  PackageDb copyDb;
  copyDb.quiet = true;
  for (const std::string& row : expected) {
    InstalledPackage package(row.substr(0, row.find(' ')));
    loadPackageFrom(copyDb, package, root.host("/flash/var/pdb/" + package.name + "/"), root.host("/ram/pdb/"),
                    DatabaseLoad::Full);
    fromCopy.push_back(describe(package));
  }
  EXPECT_EQ(expected, fromCopy);
  EXPECT_EQ("a-b9", sanitisedName("a-b.9_/\xc3\xa9"));
  // Every damaged entry is said, a member left by its bundle and a
  // requested uninstall are not damage.
  EXPECT_TRUE(runInRoot(root, [] {
    PackageDb db;
    testing::internal::CaptureStdout();
    loadDatabase(db, false, "powerpc");
    testing::internal::GetCapturedStdout();
    std::sort(db.messages.begin(), db.messages.end());
    Names expected;
    for (const char* name : {"conflicts", "empty", "extra-high", "extra-low", "garbage", "halfway", "huge", "lists", "signed"})
      expected.push_back("WARNING: damaged database entry " + std::string(name));
    EXPECT_EQ(expected, db.messages);
  }));
}

// A stored image: header, note, dependencies and a payload the load never
// needs to read.
std::string singleImage(const std::string& name, Version version) {
  return packageFile(part(1, headerData(name, version, 5, PF_BOOT)) + part(23, "a note") +
                     part(3, refListData({{"system", 1, 0, 0}})) + part(21, std::string(100000, 'i')) +
                     part(4, compress("payload")) + part(9, std::string(68, 's')));
}

void imageEntries(const PrivateRoot& root) {
  root.write("/flash/var/pdb/wifi/image", singleImage("wifi", 0x07016600));
  entry(root, "wifi", {{"disabled", "auto\n"}, {"files", "bin/w\n"}});
  root.makeDir("/flash/var/pdb/extra");
  root.write("/rw/pckg/.images/extra", singleImage("extra", 0x07026600));
  root.write("/rw/pckg/.images/orphan", singleImage("orphan", 1));  // no database entry
  const std::string member = part(4, compress("x")) + part(9, std::string(68, 's'));
  root.write("/flash/var/pdb/routeros/image",
             packageFile(part(18, headerData("routeros", 0x07016600, 9)) + part(21, "img") +
                         part(1, headerData("base", 0x07016600, 9)) + member +
                         part(1, headerData("ntp", 0x07016600, 9)) + member));
  root.write("/flash/var/pdb/broken/image", "not a package file at all");
  entry(root, "broken", {{"version", "3 4\n"}, {"files", "bin/b\n"}});
  entry(root, "plain", {{"version", "1 1\n"}});
  // Images cut short. The dependency list promises two entries and holds
  // one; after a member cut short the bundle's list ends.
  const std::string cutList = le16(2) + refListData({{"system", 1, 0, 0}}).substr(2);
  root.write("/flash/var/pdb/trimmed/image",
             packageFile(part(1, headerData("trimmed", 0x07016600, 5)) + part(23, "kept") + part(3, cutList) +
                         part(4, compress("x"))));
  entry(root, "trimmed", {{"version", "3 4\n"}, {"files", "bin/t\n"}});
  root.write("/flash/var/pdb/extras/image",
             packageFile(part(18, headerData("extras", 0x07016600, 9)) + part(1, headerData("tools", 0x07016600, 9)) +
                         part(3, cutList) + part(1, headerData("lost", 0x07016600, 9))));
  root.write("/flash/var/pdb/short/image", packageFile(part(18, std::string(20, 'b')) + part(1, headerData("inner", 1))));
  entry(root, "short", {{"version", "5 6\n"}});
}

// Marks and files lists come from the directory; the header wins over the
// meta files, but a broken image, or an unreadable bundle header, leaves
// them to speak. Image records come first, the database directory's in its
// order, then the second place's; then the entries with meta files only.
// Members come before their bundle.
TEST(DatabaseLoad, ImagesInBothPlacesAndBundles) {
  PrivateRoot root;
  imageEntries(root);
  loadAndCheck(root, [](PackageDb& db, const Names& described) {
    EXPECT_EQ((Names{"base 117532160 9 in:routeros,117532160 request:0",
                     "broken 3 4 /bin/b request:0",
                     "extra 117597696 5 d:system,1,0,0 note:a note flags:1 request:0",
                     "extras 117532160 9 bundle request:0",
                     "ntp 117532160 9 in:routeros,117532160 request:0",
                     "plain 1 1 bundle request:0",
                     "routeros 117532160 9 bundle request:0",
                     "short 5 6 bundle request:0",
                     "tools 117532160 9 d:system,1,0,0 in:extras,117532160 request:0",
                     "trimmed 117532160 5 d:system,1,0,0 /bin/t note:kept request:0",
                     "wifi 117532160 5 d:system,1,0,0 /bin/w note:a note flags:1 disabled request:0"}),
              described);
    ASSERT_EQ(11u, db.packages.size());
    EXPECT_EQ("extra", db.packages[8]->name);
    EXPECT_GE(db.findByName("plain"), 9);
    EXPECT_GE(db.findByName("short"), 9);
    EXPECT_EQ(db.findByName("base") + 1, db.findByName("ntp"));
    EXPECT_EQ(db.findByName("ntp") + 1, db.findByName("routeros"));
    EXPECT_EQ(db.findByName("tools") + 1, db.findByName("extras"));
  });
}

// Saved through a commit and read back: the extra field is kept only for
// provides; a bundle file read back asks for an uninstall. An image
// package keeps no meta files but its files list and marks.
TEST(DatabaseSave, RoundTripThroughACommit) {
  PrivateRoot root;
  entry(root, "img", {{"disabled", "user\n"}});
  EXPECT_TRUE(runInRoot(root, [] {
    PackageDb db;
    InstalledPackage package("ppp"), image("img");
    package.version = 0x01026603;
    package.buildTime = 77;
    package.deps = {{"system", 5, 0, 9}};
    package.provides = {{"ppp-api", 1, 2, -3}};
    package.conflicts = {{"pptp", 0, 7, 0}};
    package.files = {"/bin/ppp", "/etc/ppp.conf"};
    package.bundle = {"routeros", 3, 3, 0};
    package.disabled = package.userForced = image.isImage = image.userForced = true;
    image.files = {"/bin/img"};
    Manifest manifest;
    ASSERT_FALSE(savePackage(package, manifest).failed());
    ASSERT_FALSE(savePackage(image, manifest).failed());
    EXPECT_EQ(0u, manifest.entries.count("/flash/var/pdb/img/version"));
    markDisabled(image, manifest);
    EXPECT_TRUE(image.disabled);
    commitChanges(manifest, false);
    InstalledPackage loaded("ppp");
    loadPackage(loaded);
    EXPECT_EQ("ppp 16934403 77 d:system,5,0,0 p:ppp-api,1,2,-3 c:pptp,0,7,0 /bin/ppp /etc/ppp.conf in:routeros,0 "
              "disabled user request:1",
              describe(loaded));
  }));
  EXPECT_EQ("bin/ppp\netc/ppp.conf\n", root.read("/flash/var/pdb/ppp/files"));
  EXPECT_EQ("bin/img\n", root.read("/flash/var/pdb/img/files"));
  for (const char* name : {"ppp", "img"}) {
    EXPECT_EQ("user\n", root.read("/flash/var/pdb/" + std::string(name) + "/disabled"));
    EXPECT_FALSE(root.exists("/flash/var/pdb/" + std::string(name) + "/enabled"));
  }
}

TEST(DatabaseSave, WriteFailuresNameTheCause) {
  PrivateRoot root;
  ScopedTmpfs flash(root.host("/flash"), "size=64k");
  REQUIRE_TMPFS(flash);
  root.makeDir("/flash/var/pdb");
  root.write("/flash/filler", std::string(40 * 1024, 'f'));
  EXPECT_TRUE(runInRoot(root, [] {
    PackageDb db;
    InstalledPackage package("big");
    package.version = 0x01006600;
    for (int i = 0; i < 4000; ++i) package.files.insert("/lib/some/long/path/file" + std::to_string(i));
    Manifest manifest;
    testing::internal::CaptureStdout();
    const InstallFailure failure = savePackage(package, manifest);
    EXPECT_TRUE(failure.failed());
    reportInstallFailure(db, package, failure);
    errno = EIO;
    reportInstallFailure(db, package, InstallFailure::writeFailed("meta/deps"));
    errno = EACCES;
    reportInstallFailure(db, package, InstallFailure::writeFailed("meta/deps"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ((Names{"ERROR: installation of big-1.0 failed: disk is too small",
                     "ERROR: installation of big-1.0 failed: disk error",
                     "ERROR: installation of big-1.0 failed: could not create meta/deps: Permission denied"}),
              db.messages);
    cancelChanges(manifest);
  }));
}

// Right-aligned cells under a 94-character header; a long name pushes its
// row to the right; X for disabled, B for a member of a bundle; the
// placeholders that a bundle's member list adds are not listed; control
// characters are escaped.
TEST(Listing, RightAlignedCellsUnderTheHeader) {
  PackageDb db;
  InstalledPackage* system = new InstalledPackage("system");
  system->version = 0x06306607;
  system->buildTime = 1709647629;
  system->note = "core";
  InstalledPackage* member = new InstalledPackage("wireless-drivers-long");
  member->version = 0x07016203;
  member->disabled = true;
  member->bundle.name = "bundle";
  // Control characters of a name or note read from disk are shown escaped.
  InstalledPackage* odd = new InstalledPackage("a\x1b[2Jb\x7f");
  odd->note = "tab\there\nand \xc3\xa9";
  db.packages = {system, new InstalledPackage(""), member, odd};
  testing::internal::CaptureStdout();
  showPackages(db);
  EXPECT_EQ(
      "            Name          Version                Built                                    Note\n"
      "----------------------------------------------------------------------------------------------\n"
      "          system           6.48.7 Mar/05/2024 14:07:09                                     core\n"
      "wireless-drivers-long XB      7.1beta3 Jan/01/1970 00:00:00                                         \n"
      "   a\\x1b[2Jb\\x7f              0.0 Jan/01/1970 00:00:00                    tab\\x09here\\x0aand \xc3\xa9\n",
      testing::internal::GetCapturedStdout());
}

}  // namespace
