#include "resolve/providers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "package_set.h"
#include "support/package_builder.h"
#include "support/private_root.h"

using namespace resolvetest;

namespace {

using Messages = std::vector<std::string>;

// Package files owned by the test, handed to selection as a list.
class Selection : public testing::Test {
 protected:
  PackageFile& file(const std::string& name, Version version, uint32_t built = 0) {
    files_.push_back(std::make_unique<PackageFile>(name));
    files_.back()->version = version;
    files_.back()->buildTime = built;
    list_.push_back(files_.back().get());
    return *files_.back();
  }

  PackageFile& bundle(const std::string& name, Version version, const std::string& member,
                      Version memberVersion) {
    PackageFile& file = this->file(name, version);
    file.isBundle = true;
    file.members.push_back(new Package(member));
    file.members.back()->version = memberVersion;
    return file;
  }

  std::vector<std::string> select(Version floor = NO_VERSION_FLOOR, bool report = true) {
    std::vector<PackageFile*> list = list_;
    selectProviders(db_, list, floor, report);
    std::vector<std::string> result;
    for (const PackageFile* file : list) result.push_back(file->displayName());
    return result;
  }

  PackageDb db_;
  std::vector<std::unique_ptr<PackageFile>> files_;
  std::vector<PackageFile*> list_;
};

TEST_F(Selection, NewestSurvivesOrOldestWhenDowngrading) {
  file("web", ver(1, 0));
  file("web", ver(2, 0));
  EXPECT_EQ(Messages{"web-2.0"}, select());
  EXPECT_EQ(Messages{"WARNING: omitting package web-1.0: newer package is already provided"}, db_.messages);

  db_.messages.clear();
  EXPECT_EQ(Messages{"web-1.0"}, select(ver(1, 0)));
  EXPECT_EQ(Messages{"WARNING: omitting package web-2.0: older package is already provided"}, db_.messages);

  db_.messages.clear();
  EXPECT_EQ(Messages{"web-2.0"}, select(NO_VERSION_FLOOR, false));
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(Selection, CandidatesBelowTheFloorAreNotAllowedAndRivalNobody) {
  file("web", ver(0, 5));
  file("web", ver(2, 0));
  file("dns", ver(0, 9));
  // The allowed version survives even though an older, disallowed file is
  // present; the refusals are printed whatever report says.
  EXPECT_EQ(Messages{"web-2.0"}, select(ver(1, 0), false));
  EXPECT_EQ((Messages{"WARNING: ommitting package web-0.5: not allowed",
                      "WARNING: ommitting package dns-0.9: not allowed"}),
            db_.messages);

  // A floor of 0 refuses nothing, but still prefers the older file.
  db_.messages.clear();
  EXPECT_EQ((Messages{"dns-0.9", "web-0.5"}), select(0, false));
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(Selection, BundleAgainstSinglePackage) {
  bundle("routeros", ver(2, 0), "system", ver(2, 0));
  file("system", ver(2, 0));
  EXPECT_EQ(Messages{"routeros-2.0"}, select());
  EXPECT_TRUE(db_.messages.empty());

  // The same, the single package listed first.
  std::swap(list_[0], list_[1]);
  EXPECT_EQ(Messages{"routeros-2.0"}, select());
  EXPECT_TRUE(db_.messages.empty());

  files_.back()->version = ver(3, 0);
  EXPECT_EQ(Messages{"system-3.0"}, select());
  EXPECT_EQ(Messages{"WARNING: omitting package routeros-2.0: newer package is already provided"},
            db_.messages);
}

TEST_F(Selection, EqualRivalsOfOneKindLeaveTheFirst) {
  PackageFile& first = file("web", ver(1, 0), 7);
  PackageFile& second = file("web", ver(1, 0), 7);
  first.path = "a/web.npk";
  second.path = "b/web.npk";
  std::vector<PackageFile*> list = list_;
  selectProviders(db_, list, NO_VERSION_FLOOR, true);
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ("a/web.npk", list[0]->path);
  EXPECT_TRUE(db_.messages.empty());

  list_.clear();
  bundle("routeros", ver(1, 0), "web", ver(1, 0));
  bundle("routeros", ver(1, 0), "web", ver(1, 0));
  EXPECT_EQ(Messages{"routeros-1.0"}, select());
}

TEST_F(Selection, DifferentNamesAreNeverRivals) {
  file("openssl", ver(1, 0)).provides = {need("ssl")};
  file("libressl", ver(2, 0)).provides = {need("ssl")};
  EXPECT_EQ(2u, select().size());
}

TEST_F(Selection, OrderPutsNeedsAndExcludersFirst) {
  // A package without relations to those placed goes to the front; one that
  // needs a placed package goes after it.
  file("openssl", ver(1, 0)).provides = {need("ssl")};
  file("web", ver(1, 0)).deps = {need("ssl")};
  bundle("routeros", ver(1, 0), "system", ver(1, 0));
  file("dns", ver(1, 0)).deps = {need("system")};
  EXPECT_EQ((Messages{"routeros-1.0", "dns-1.0", "openssl-1.0", "web-1.0"}), select());

  // old goes after new, which excludes it.
  list_.clear();
  file("new", ver(1, 0)).conflicts = {need("old")};
  file("old", ver(1, 0));
  EXPECT_EQ((Messages{"new-1.0", "old-1.0"}), select());
}

// A bundle record with members that follow it.
struct BundleSet : PackageSet {
  InstalledPackage& member(const std::string& name, bool disabled, ScheduledAction request,
                           const std::string& bundleName = "bundle") {
    InstalledPackage& package = add(name, ver(1, 0), disabled);
    package.bundle = need(bundleName);
    package.scheduled = request;
    return package;
  }
};

TEST(FollowBundles, MembersTakeTheBundlesRequest) {
  struct Case {
    ScheduledAction bundle;
    bool disabled;
    ScheduledAction before, after;
  };
  const Case cases[] = {
      {SCHEDULE_DISABLE, false, SCHEDULE_NONE, SCHEDULE_DISABLE},
      {SCHEDULE_DISABLE, false, SCHEDULE_UNINSTALL, SCHEDULE_UNINSTALL},
      {SCHEDULE_DISABLE, true, SCHEDULE_ENABLE, SCHEDULE_DISABLE},
      {SCHEDULE_UNINSTALL, false, SCHEDULE_ENABLE, SCHEDULE_UNINSTALL},
      {SCHEDULE_ENABLE, true, SCHEDULE_NONE, SCHEDULE_ENABLE},
      {SCHEDULE_ENABLE, false, SCHEDULE_DISABLE, SCHEDULE_DISABLE},
      {SCHEDULE_NONE, false, SCHEDULE_DISABLE, SCHEDULE_DISABLE},
  };
  for (const Case& c : cases) {
    BundleSet set;
    set.add("bundle").scheduled = c.bundle;
    InstalledPackage& member = set.member("m", c.disabled, c.before);
    InstalledPackage& stranger = set.member("s", c.disabled, c.before, "other");
    followBundles(set.db);
    EXPECT_EQ(c.after, member.scheduled) << c.bundle << " " << c.disabled << " " << c.before;
    EXPECT_EQ(c.before, stranger.scheduled);
  }
}

TEST(SettleBundleRecords, TheRecordFollowsWhatItsMembersDo) {
  struct Member {
    bool disabled;
    ScheduledAction request;
  };
  struct Case {
    bool disabled;
    ScheduledAction before;
    std::vector<Member> members;
    ScheduledAction after;
  };
  const Case cases[] = {
      // A member that stays ends the look.
      {false, SCHEDULE_DISABLE, {{false, SCHEDULE_UNINSTALL}, {false, SCHEDULE_NONE}}, SCHEDULE_DISABLE},
      {true, SCHEDULE_NONE, {{true, SCHEDULE_ENABLE}}, SCHEDULE_NONE},
      // All leave, or there are none: the record goes.
      {false, SCHEDULE_NONE, {{false, SCHEDULE_UNINSTALL}, {true, SCHEDULE_UNINSTALL}}, SCHEDULE_UNINSTALL},
      {false, SCHEDULE_NONE, {{false, SCHEDULE_ENABLE}}, SCHEDULE_UNINSTALL},
      {true, SCHEDULE_DISABLE, {}, SCHEDULE_UNINSTALL},
      // Some stay, disabled.
      {true, SCHEDULE_ENABLE, {{true, SCHEDULE_NONE}}, SCHEDULE_NONE},
      {true, SCHEDULE_DISABLE, {{false, SCHEDULE_DISABLE}}, SCHEDULE_DISABLE},
      {false, SCHEDULE_NONE, {{true, SCHEDULE_DISABLE}, {false, SCHEDULE_UNINSTALL}}, SCHEDULE_DISABLE},
      {false, SCHEDULE_ENABLE, {{true, SCHEDULE_NONE}}, SCHEDULE_DISABLE},
  };
  for (const Case& c : cases) {
    BundleSet set;
    InstalledPackage& bundle = set.add("bundle", ver(1, 0), c.disabled);
    bundle.isBundle = true;
    bundle.scheduled = c.before;
    int n = 0;
    for (const Member& m : c.members) set.member("m" + std::to_string(n++), m.disabled, m.request);
    settleBundleRecords(set.db);
    EXPECT_EQ(c.after, bundle.scheduled) << "case " << &c - cases;
  }

  // All-ones records are no members.
  BundleSet set;
  InstalledPackage& bundle = set.add("bundle");
  bundle.isBundle = true;
  InstalledPackage& allOnes = set.member("x", false, SCHEDULE_NONE);
  allOnes.version = allOnes.buildTime = 0xFFFFFFFF;
  settleBundleRecords(set.db);
  EXPECT_EQ(SCHEDULE_UNINSTALL, bundle.scheduled);
}

TEST(FindByNameOrProvides, FirstEnabledElseLastDisabled) {
  PackageSet set;
  set.add("a", ver(1, 0), true).provides = {need("shell", ver(1, 0), ver(2, 0))};
  set.add("shell", ver(1, 0), true);
  EXPECT_EQ("shell", findByNameOrProvides(set.db, "shell")->name);
  set.add("b").provides = {need("shell")};
  set.add("c").provides = {need("shell")};
  EXPECT_EQ("b", findByNameOrProvides(set.db, "shell")->name);
  EXPECT_EQ(nullptr, findByNameOrProvides(set.db, "ssh"));
}

TEST(ScanDownloads, ReadsPackageFilesAndReportsBrokenOnes) {
  using namespace testpkg;
  PrivateRoot root;
  const std::string web = packageFile(part(1, headerData("web", ver(1, 0))));
  root.write("/dl/web.npk", web);
  root.write("/dl/dns.dpk", packageFile(part(1, headerData("dns", ver(2, 0)))));
  root.write("/dl/broken.npk", "not a package");
  root.write("/dl/.hidden.npk", web);
  root.write("/dl/WEB.NPK", web);
  root.write("/dl/web.npk.txt", web);

  PackageDb db;
  std::vector<std::unique_ptr<PackageFile>> list;
  scanDownloads(db, root.host("/dl/"), list);
  std::vector<std::string> found;
  for (const auto& file : list) found.push_back(file->displayName() + " " + file->path);
  std::sort(found.begin(), found.end());
  EXPECT_EQ((Messages{"dns-2.0 " + root.host("/dl/dns.dpk"), "web-1.0 " + root.host("/dl/web.npk")}), found);
  EXPECT_EQ(Messages{"ERROR: broken package broken.npk"}, db.messages);

  scanDownloads(db, root.host("/missing/"), list);
  EXPECT_EQ(2u, list.size());
}

}  // namespace
