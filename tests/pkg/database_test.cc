// Loading and saving the package database, in a private root.
#include "pkg/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "pkg/listing.h"
#include "support/package_builder.h"
#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

void writeMeta(const PrivateRoot& root, const std::string& name, const std::string& file,
               const std::string& content) {
  root.write("/flash/var/pdb/" + name + "/" + file, content);
}

// Loads the database inside the root and hands the result to check.
void loadAndCheck(const PrivateRoot& root, const std::function<void(PackageDb&)>& check) {
  EXPECT_TRUE(runInRoot(root, [&] {
    PackageDb db;
    testing::internal::CaptureStdout();
    loadDatabase(db, false, "powerpc");
    testing::internal::GetCapturedStdout();
    check(db);
  }));
}

TEST(DatabaseLoad, MetaFilesMarksAndLists) {
  PrivateRoot root;
  writeMeta(root, "system", "version", "100859648 1700000000\n");
  writeMeta(root, "system", "deps", "plix 1 0\nbase 0 0\n");
  writeMeta(root, "system", "provides", "kernel 5 7 -2\n");
  writeMeta(root, "system", "conflicts", "old 0 3\n");
  writeMeta(root, "system", "files", "bin/x\n/bin/x\n\nlib/y\n");
  writeMeta(root, "system", "disabled", "auto\n");
  writeMeta(root, "ppp", "version", "1 2\n");
  writeMeta(root, "ppp", "disabled", "\n");
  writeMeta(root, "dhcp", "version", "1 2\n");
  writeMeta(root, "dhcp", "enabled", "user\n");
  writeMeta(root, ".hidden", "version", "1 2\n");
  loadAndCheck(root, [](PackageDb& db) {
    EXPECT_EQ("powerpc", db.systemArch);
    ASSERT_EQ(3u, db.packages.size());
    const InstalledPackage* system = db.lookupByName("system");
    ASSERT_NE(nullptr, system);
    EXPECT_EQ(100859648u, system->version);
    EXPECT_EQ(1700000000u, system->buildTime);
    ASSERT_EQ(2u, system->deps.size());
    EXPECT_EQ("plix", system->deps[0].name);
    EXPECT_EQ(1u, system->deps[0].min);
    ASSERT_EQ(1u, system->provides.size());
    EXPECT_EQ(-2, system->provides[0].extra);
    EXPECT_EQ(7u, system->provides[0].max);
    ASSERT_EQ(1u, system->conflicts.size());
    EXPECT_EQ((std::set<std::string>{"/bin/x", "/lib/y"}), system->files);
    EXPECT_FALSE(system->isBundle);
    EXPECT_TRUE(system->disabled);
    EXPECT_FALSE(system->userForced);
    EXPECT_EQ(SCHEDULE_NONE, system->scheduled);
    const InstalledPackage* ppp = db.lookupByName("ppp");
    EXPECT_TRUE(ppp->disabled);
    EXPECT_TRUE(ppp->userForced);  // any first line but "auto", the empty one too
    EXPECT_TRUE(ppp->isBundle);    // no files list
    const InstalledPackage* dhcp = db.lookupByName("dhcp");
    EXPECT_FALSE(dhcp->disabled);
    EXPECT_TRUE(dhcp->userForced);
  });
}

TEST(DatabaseLoad, DamagedMetaFilesScheduleAnUninstall) {
  PrivateRoot root;
  writeMeta(root, "garbage", "version", "\x01\x02zz\xff");
  writeMeta(root, "cut", "version", "1 2\n");
  writeMeta(root, "cut", "deps", "a 1 2\nb 3");
  writeMeta(root, "signed", "version", "1 2\n");
  writeMeta(root, "signed", "deps", "a -1 2\n");
  writeMeta(root, "huge", "version", "99999999999 2\n");
  writeMeta(root, "member", "version", "1 2\n");
  writeMeta(root, "member", "bundle", "routeros\n");
  writeMeta(root, "fine", "version", "1 2\n");
  writeMeta(root, "fine", "deps", "");
  writeMeta(root, "zeros", "version", "000000000000100859648 00000000001\n");
  writeMeta(root, "lists", "version", "1 2\n");
  writeMeta(root, "lists", "deps", "a 1");
  writeMeta(root, "lists", "provides", "b 0 0 -3\n");
  writeMeta(root, "lists", "conflicts", "c 0 0\n");
  root.makeDir("/flash/var/pdb/empty");
  root.write("/flash/var/pdb/plainfile", "not a directory");
  loadAndCheck(root, [](PackageDb& db) {
    ASSERT_EQ(10u, db.packages.size());
    for (const char* name : {"garbage", "cut", "signed", "huge", "member", "empty", "plainfile"}) {
      const InstalledPackage* package = db.lookupByName(name);
      ASSERT_NE(nullptr, package) << name;
      EXPECT_EQ(SCHEDULE_UNINSTALL, package->scheduled) << name;
    }
    EXPECT_EQ(1u, db.lookupByName("cut")->deps.size());  // what was read stays
    EXPECT_EQ("routeros", db.lookupByName("member")->bundle.name);
    EXPECT_EQ(SCHEDULE_NONE, db.lookupByName("fine")->scheduled);
    const InstalledPackage* zeros = db.lookupByName("zeros");
    EXPECT_EQ(100859648u, zeros->version);  // leading zeros are still decimals
    EXPECT_EQ(1u, zeros->buildTime);
    EXPECT_EQ(SCHEDULE_NONE, zeros->scheduled);
    // A failed list does not keep the others from being read.
    const InstalledPackage* lists = db.lookupByName("lists");
    EXPECT_EQ(SCHEDULE_UNINSTALL, lists->scheduled);
    ASSERT_EQ(1u, lists->provides.size());
    EXPECT_EQ(-3, lists->provides[0].extra);
    EXPECT_EQ(1u, lists->conflicts.size());
  });
}

TEST(DatabaseLoad, ScheduleFilesBySanitisedName) {
  PrivateRoot root;
  for (const char* name : {"disk-drivers", "my.pkg_x", "gone", "odd", "forever"})
    writeMeta(root, name, "version", "1 2\n");
  writeMeta(root, "forever", "version", "4294967295 4294967295\n");
  root.write("/ram/pdb/disk-drivers/schedule", "disable\n");
  root.write("/ram/pdb/mypkgx/schedule", "enable");
  root.write("/ram/pdb/gone/schedule", "uninstall\n");
  root.write("/ram/pdb/odd/schedule", "reboot\n");
  root.write("/ram/pdb/forever/schedule", "uninstall\n");
  loadAndCheck(root, [](PackageDb& db) {
    EXPECT_EQ(SCHEDULE_DISABLE, db.lookupByName("disk-drivers")->scheduled);
    EXPECT_TRUE(db.lookupByName("disk-drivers")->userForced);
    EXPECT_EQ(SCHEDULE_ENABLE, db.lookupByName("my.pkg_x")->scheduled);
    EXPECT_EQ(SCHEDULE_UNINSTALL, db.lookupByName("gone")->scheduled);
    EXPECT_EQ(SCHEDULE_NONE, db.lookupByName("odd")->scheduled);
    EXPECT_FALSE(db.lookupByName("odd")->userForced);
    EXPECT_EQ(SCHEDULE_NONE, db.lookupByName("forever")->scheduled);
  });
  EXPECT_EQ("diskdrivers", sanitisedName("disk/drivers"));
  EXPECT_EQ("a-b9", sanitisedName("a-b.9_\xc3\xa9"));
}

// A stored image: header, note, dependencies and a payload the load never
// needs to read.
std::string singleImage(const std::string& name, Version version) {
  using namespace testpkg;
  return packageFile(part(1, headerData(name, version, 5, PF_BOOT)) +
                     part(23, "a note") + part(3, refListData({{"system", 1, 0, 0}})) +
                     part(21, std::string(100000, 'i')) + part(4, compress("payload")) +
                     part(9, std::string(68, 's')));
}

TEST(DatabaseLoad, ImagesInBothPlacesAndBundles) {
  using namespace testpkg;
  PrivateRoot root;
  root.write("/flash/var/pdb/wifi/image", singleImage("wifi", 0x07016600));
  writeMeta(root, "wifi", "disabled", "auto\n");
  root.makeDir("/flash/var/pdb/extra");
  root.write("/rw/pckg/.images/extra", singleImage("extra", 0x07026600));
  root.write("/rw/pckg/.images/orphan", singleImage("orphan", 1));  // no database entry
  const std::string bundle =
      packageFile(part(18, headerData("routeros", 0x07016600, 9)) + part(21, "img") +
                  part(1, headerData("system", 0x07016600, 9)) + part(4, compress("x")) +
                  part(9, std::string(68, 's')) + part(1, headerData("dhcp", 0x07016600, 9)) +
                  part(4, compress("y")) + part(9, std::string(68, 's')));
  root.write("/flash/var/pdb/routeros/image", bundle);
  root.write("/flash/var/pdb/broken/image", "not a package file at all");
  writeMeta(root, "broken", "version", "3 4\n");
  writeMeta(root, "broken", "files", "bin/b\n");
  writeMeta(root, "plain", "version", "1 1\n");
  loadAndCheck(root, [](PackageDb& db) {
    std::vector<std::string> names;
    for (const InstalledPackage* package : db.packages) names.push_back(package->name);
    // Image records first (the database directory's entries in directory
    // order, then the second place), then the entries with meta files only.
    ASSERT_EQ(7u, names.size());
    EXPECT_EQ(1u, std::count(names.begin(), names.end(), "plain"));
    EXPECT_EQ("plain", names.back());
    EXPECT_EQ(0, std::count(names.begin(), names.end(), "orphan"));
    const InstalledPackage* wifi = db.lookupByName("wifi");
    EXPECT_EQ(0x07016600u, wifi->version);
    EXPECT_EQ(PF_BOOT, wifi->flags);
    EXPECT_EQ("a note", wifi->note);
    ASSERT_EQ(1u, wifi->deps.size());
    EXPECT_TRUE(wifi->disabled);  // marks come from the directory
    EXPECT_EQ(0x07026600u, db.lookupByName("extra")->version);
    const InstalledPackage* system = db.lookupByName("system");
    ASSERT_NE(nullptr, system);
    EXPECT_EQ("routeros", system->bundle.name);
    EXPECT_EQ(0x07016600u, system->bundle.min);
    EXPECT_EQ(SCHEDULE_NONE, system->scheduled);
    EXPECT_TRUE(db.lookupByName("routeros")->isBundle);
    EXPECT_LT(db.findByName("dhcp"), db.findByName("routeros"));  // members first
    const InstalledPackage* broken = db.lookupByName("broken");
    EXPECT_EQ(3u, broken->version);  // from its meta files instead
    EXPECT_EQ(std::set<std::string>{"/bin/b"}, broken->files);
  });
}

TEST(DatabaseLoad, ImagesCutShortKeepWhatWasRead) {
  using namespace testpkg;
  PrivateRoot root;
  // The dependency list promises two entries and holds one.
  const std::string cutList = le16(2) + refListData({{"system", 1, 0, 0}}).substr(2);
  root.write("/flash/var/pdb/cut/image",
             packageFile(part(1, headerData("cut", 0x07016600, 5)) + part(23, "kept") +
                         part(3, cutList) + part(4, compress("x"))));
  writeMeta(root, "cut", "version", "3 4\n");
  writeMeta(root, "cut", "files", "bin/cut\n");
  root.write("/flash/var/pdb/short/image",
             packageFile(part(18, std::string(20, 'b')) + part(1, headerData("inner", 1))));
  writeMeta(root, "short", "version", "5 6\n");
  root.write("/flash/var/pdb/routeros/image",
             packageFile(part(18, headerData("routeros", 0x07016600, 9)) +
                         part(1, headerData("system", 0x07016600, 9)) + part(3, cutList) +
                         part(1, headerData("dhcp", 0x07016600, 9))));
  loadAndCheck(root, [](PackageDb& db) {
    std::vector<std::string> names;
    for (const InstalledPackage* package : db.packages) names.push_back(package->name);
    // No record for the unreadable bundle header: its entry comes last, from
    // its meta files.
    ASSERT_EQ(4u, names.size());
    EXPECT_EQ("short", names.back());
    EXPECT_EQ(5u, db.lookupByName("short")->version);
    const InstalledPackage* cut = db.lookupByName("cut");
    ASSERT_NE(nullptr, cut);
    EXPECT_EQ(0x07016600u, cut->version);  // from the header, not the meta files
    EXPECT_EQ("kept", cut->note);
    EXPECT_EQ(1u, cut->deps.size());
    EXPECT_EQ(std::set<std::string>{"/bin/cut"}, cut->files);
    // The member cut short is kept, and ends the bundle's member list.
    const InstalledPackage* system = db.lookupByName("system");
    ASSERT_NE(nullptr, system);
    EXPECT_EQ("routeros", system->bundle.name);
    EXPECT_EQ(nullptr, db.lookupByName("dhcp"));
    EXPECT_EQ(db.findByName("system") + 1, db.findByName("routeros"));
    EXPECT_EQ(0x07016600u, db.lookupByName("routeros")->version);
  });
}

TEST(DatabaseLoad, ScheduleOfANameWithNothingKept) {
  PrivateRoot root;
  writeMeta(root, "_.", "version", "1 2\n");
  root.write("/ram/pdb/schedule", "disable\n");  // /ram/pdb/ + "" + /schedule
  loadAndCheck(root, [](PackageDb& db) {
    ASSERT_NE(nullptr, db.lookupByName("_."));
    EXPECT_EQ(SCHEDULE_DISABLE, db.lookupByName("_.")->scheduled);
  });
}

// The load for --show reads only what the listing prints, and prints the
// same table as the full load.
TEST(DatabaseLoad, ListingLoadPrintsWhatTheFullLoadPrints) {
  using namespace testpkg;
  PrivateRoot root;
  writeMeta(root, "system", "version", "100859648 1700000000\n");
  writeMeta(root, "system", "deps", "plix 1 0\n");
  writeMeta(root, "system", "files", "bin/x\n");
  writeMeta(root, "system", "disabled", "auto\n");
  writeMeta(root, "member", "version", "1 2\n");
  writeMeta(root, "member", "bundle", "routeros\n");
  writeMeta(root, "member", "enabled", "user\n");
  writeMeta(root, "halfway", "version", "7 x\n");
  writeMeta(root, "garbage", "version", "\x01\x02zz\xff");
  writeMeta(root, "cut", "version", "117597696 5\n");
  writeMeta(root, "cut", "deps", "a 1 2\nb 3");
  root.makeDir("/flash/var/pdb/empty");
  root.write("/flash/var/pdb/wifi/image", singleImage("wifi", 0x07016600));
  writeMeta(root, "wifi", "disabled", "user\n");
  root.makeDir("/flash/var/pdb/extra");
  root.write("/rw/pckg/.images/extra", singleImage("extra", 0x07026600));
  root.write("/ram/pdb/system/schedule", "enable\n");
  std::string full, listing;
  for (DatabaseLoad load : {DatabaseLoad::Full, DatabaseLoad::Listing}) {
    std::string& printed = load == DatabaseLoad::Full ? full : listing;
    EXPECT_TRUE(runInRoot(root, [&] {
      PackageDb db;
      loadDatabase(db, true, "powerpc", load);
      testing::internal::CaptureStdout();
      showPackages(db);
      const std::string table = testing::internal::GetCapturedStdout();
      // Handed out of the child through the root.
      FILE* out = fopen("/tmp/table", "w");
      ASSERT_NE(nullptr, out);
      fwrite(table.data(), 1, table.size(), out);
      fclose(out);
      if (load == DatabaseLoad::Listing) {
        const InstalledPackage* system = db.lookupByName("system");
        ASSERT_NE(nullptr, system);
        EXPECT_TRUE(system->deps.empty());  // not read for the listing
        EXPECT_TRUE(system->files.empty());
        EXPECT_EQ(SCHEDULE_NONE, system->scheduled);
      }
    }));
    printed = root.read("/tmp/table");
  }
  EXPECT_EQ(10u, std::count(full.begin(), full.end(), '\n'));  // header, rule, 8 rows
  EXPECT_NE(std::string::npos, full.find("Jan/01/1970 00:00:02"));  // member
  EXPECT_EQ(full, listing);
}

TEST(DatabaseSave, RoundTripThroughACommit) {
  PrivateRoot root;
  writeMeta(root, "ppp", "provides", "keep 0 0 0\n");
  EXPECT_TRUE(runInRoot(root, [] {
    PackageDb db;
    InstalledPackage package("ppp");
    package.version = 0x01026603;
    package.buildTime = 77;
    package.deps = {{"system", 5, 0, 9}};
    package.conflicts = {{"pptp", 0, 7, 0}};
    package.files = {"/bin/ppp", "/etc/ppp.conf"};
    package.bundle = {"routeros", 3, 3, 0};
    package.disabled = true;
    package.userForced = true;
    Manifest manifest;
    ASSERT_TRUE(savePackage(db, package, manifest));
    commitChanges(manifest, "", false);

    InstalledPackage loaded("ppp");
    loadPackage(loaded);
    EXPECT_EQ(package.version, loaded.version);
    EXPECT_EQ(package.buildTime, loaded.buildTime);
    ASSERT_EQ(1u, loaded.deps.size());
    EXPECT_EQ(5u, loaded.deps[0].min);
    EXPECT_EQ(0, loaded.deps[0].extra);  // kept only for provides
    ASSERT_EQ(1u, loaded.conflicts.size());
    EXPECT_EQ(package.files, loaded.files);
    EXPECT_EQ("routeros", loaded.bundle.name);
    EXPECT_TRUE(loaded.disabled);
    EXPECT_TRUE(loaded.userForced);
    // An empty provides list leaves the file that was there.
    ASSERT_EQ(1u, loaded.provides.size());
    EXPECT_EQ("keep", loaded.provides[0].name);
  }));
  EXPECT_EQ("bin/ppp\netc/ppp.conf\n", root.read("/flash/var/pdb/ppp/files"));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/ppp/disabled"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/ppp/enabled"));
}

TEST(DatabaseSave, MarksAndImagePackages) {
  PrivateRoot root;
  writeMeta(root, "img", "disabled", "user\n");
  EXPECT_TRUE(runInRoot(root, [] {
    PackageDb db;
    InstalledPackage package("img");
    package.isImage = true;
    package.userForced = true;
    Manifest manifest;
    ASSERT_TRUE(savePackage(db, package, manifest));
    // An image package keeps no meta files, only its marks.
    EXPECT_EQ(0u, manifest.entries.count("/flash/var/pdb/img/version"));
    EXPECT_EQ(CHANGE_REMOVE, manifest.entries.at("/flash/var/pdb/img/disabled").kind);
    EXPECT_EQ(CHANGE_TEMP, manifest.entries.at("/flash/var/pdb/img/enabled").kind);
    markDisabled(package, manifest);
    EXPECT_TRUE(package.disabled);
    EXPECT_EQ(CHANGE_TEMP, manifest.entries.at("/flash/var/pdb/img/disabled").kind);
    EXPECT_EQ(0u, manifest.entries.count("/flash/var/pdb/img/enabled"));
    commitChanges(manifest, "", false);
  }));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/img/disabled"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/img/enabled"));
}

}  // namespace

namespace {

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
    EXPECT_FALSE(savePackage(db, package, manifest));
    errno = EIO;
    reportWriteFailure(db, package, "meta/deps");
    errno = EACCES;
    reportWriteFailure(db, package, "meta/deps");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<std::string>{
                  "ERROR: installation of big-1.0 failed: disk is too small",
                  "ERROR: installation of big-1.0 failed: disk error",
                  "ERROR: installation of big-1.0 failed: could not create meta/deps: Permission denied"}),
              db.messages);
    cancelChanges(manifest);
  }));
}

}  // namespace
