#include "resolve/providers.h"

#include <gtest/gtest.h>

#include "package_set.h"

using namespace resolvetest;

namespace {

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

  // The survivors in their order, each with its path, then the messages.
  std::string select(Version floor = NO_VERSION_FLOOR, bool report = true) {
    db_.messages.clear();
    std::vector<PackageFile*> list = list_;
    selectProviders(db_, list, floor, report);
    std::string text;
    for (const PackageFile* file : list) text += " " + file->displayName() + file->path;
    for (const std::string& message : db_.messages) text += " | " + message;
    return text.erase(0, 1);
  }

  PackageDb db_;
  std::vector<std::unique_ptr<PackageFile>> files_;
  std::vector<PackageFile*> list_;
};

TEST_F(Selection, NewestSurvivesOrOldestWhenDowngrading) {
  file("web", ver(1, 0));
  file("web", ver(2, 0));
  EXPECT_EQ("web-2.0 | WARNING: omitting package web-1.0: newer package is already provided", select());
  EXPECT_EQ("web-1.0 | WARNING: omitting package web-2.0: older package is already provided",
            select(ver(1, 0)));
  EXPECT_EQ("web-2.0", select(NO_VERSION_FLOOR, false));
}

TEST_F(Selection, CandidatesBelowTheFloorAreNotAllowedAndRivalNobody) {
  file("web", ver(0, 5));
  file("web", ver(2, 0));
  file("dns", ver(0, 9));
  // The allowed version survives even though an older, disallowed file is
  // present; the refusals are printed whatever report says.
  EXPECT_EQ("web-2.0 | WARNING: ommitting package web-0.5: not allowed | "
            "WARNING: ommitting package dns-0.9: not allowed",
            select(ver(1, 0), false));
  // A floor of 0 refuses nothing, but still prefers the older file.
  EXPECT_EQ("dns-0.9 web-0.5", select(0, false));
}

TEST_F(Selection, BundleAgainstSinglePackage) {
  bundle("routeros", ver(2, 0), "system", ver(2, 0));
  PackageFile& system = file("system", ver(2, 0));
  EXPECT_EQ("routeros-2.0", select());
  std::swap(list_[0], list_[1]);  // whichever comes first
  EXPECT_EQ("routeros-2.0", select());
  system.version = ver(3, 0);
  EXPECT_EQ("system-3.0 | WARNING: omitting package routeros-2.0: newer package is already provided",
            select());
}

TEST_F(Selection, EqualRivalsOfOneKindLeaveTheFirst) {
  file("web", ver(1, 0), 7).path = "@a";
  file("web", ver(1, 0), 7).path = "@b";
  bundle("routeros", ver(1, 0), "dhcp", ver(1, 0)).path = "@c";
  bundle("routeros", ver(1, 0), "dhcp", ver(1, 0)).path = "@d";
  EXPECT_EQ("routeros-1.0@c web-1.0@a", select());
}

TEST_F(Selection, OrderPutsNeedsAndExcludersFirst) {
  // A package without relations to those placed goes to the front; one that
  // needs a placed package goes after it. Different names are no rivals,
  // whatever they provide.
  file("openssl", ver(1, 0)).provides = {need("ssl")};
  file("web", ver(1, 0)).deps = {need("ssl")};
  bundle("routeros", ver(1, 0), "system", ver(1, 0));
  file("dns", ver(1, 0)).deps = {need("system")};
  file("libressl", ver(2, 0)).provides = {need("ssl")};
  EXPECT_EQ("libressl-2.0 routeros-1.0 dns-1.0 openssl-1.0 web-1.0", select());

  // old goes after new, which excludes it.
  list_.clear();
  file("new", ver(1, 0)).conflicts = {need("old")};
  file("old", ver(1, 0));
  EXPECT_EQ("new-1.0 old-1.0", select());
}

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
    PackageSet set;
    set.add("bundle").scheduled = c.bundle;
    // A member of a bundle that has no record is left alone.
    InstalledPackage& member = set.add("m", ver(1, 0), c.disabled);
    InstalledPackage& stranger = set.add("s", ver(1, 0), c.disabled);
    member.bundle = need("bundle");
    stranger.bundle = need("other");
    member.scheduled = stranger.scheduled = c.before;
    followBundles(set.db);
    EXPECT_EQ(c.after, member.scheduled) << "case " << &c - cases;
    EXPECT_EQ(c.before, stranger.scheduled);
  }
}

TEST(SettleBundleRecords, TheRecordFollowsWhatItsMembersDo) {
  struct Case {
    bool disabled;
    ScheduledAction before;
    std::vector<std::pair<bool, ScheduledAction>> members;  // disabled, request
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
    PackageSet set;
    InstalledPackage& bundle = set.add("bundle", ver(1, 0), c.disabled);
    bundle.isBundle = true;
    bundle.scheduled = c.before;
    for (const auto& [disabled, request] : c.members) {
      InstalledPackage& member = set.add("m", ver(1, 0), disabled);
      member.bundle = need("bundle");
      member.scheduled = request;
    }
    // All-ones records are no members.
    set.add("x", 0xFFFFFFFF).buildTime = 0xFFFFFFFF;
    set["x"].bundle = need("bundle");
    settleBundleRecords(set.db);
    EXPECT_EQ(c.after, bundle.scheduled) << "case " << &c - cases;
  }
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

}  // namespace
