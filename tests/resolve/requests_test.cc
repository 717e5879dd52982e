#include "resolve/requests.h"

#include <gtest/gtest.h>

#include "package_set.h"
#include "support/private_root.h"

using namespace resolvetest;

namespace {

using Names = std::vector<std::string>;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// A package set with the outcome of one resolution.
struct Pass : PackageSet {
  PackageList removals, enables;
  bool resolved = false;

  void resolve(int report = 1) {
    removals.clear();
    enables.clear();
    resolved = resolveRequests(db, removals, enables, report);
  }
  Names requests() const {
    Names result;
    for (const InstalledPackage* package : db.packages)
      result.push_back(package->name + ":" + std::to_string(package->scheduled));
    return result;
  }
};

TEST(ResolveRequests, UninstallOfANeededProviderIsRefused) {
  Pass pass;
  pass.add("system");
  pass.add("web").deps = {need("ssl")};
  InstalledPackage& openssl = pass.add("openssl");
  openssl.provides = {need("ssl")};
  openssl.scheduled = SCHEDULE_UNINSTALL;
  pass.resolve();
  EXPECT_TRUE(pass.resolved);
  EXPECT_EQ(SCHEDULE_NONE, openssl.scheduled);
  EXPECT_TRUE(pass.removals.empty());
  EXPECT_EQ(Names{"WARNING: can not uninstall openssl-1.0: web depends on it"}, pass.db.messages);

  // Silent at report 0; a disable request is refused the same way.
  pass.db.messages.clear();
  openssl.scheduled = SCHEDULE_DISABLE;
  pass.resolve(0);
  EXPECT_EQ(SCHEDULE_NONE, openssl.scheduled);
  EXPECT_TRUE(pass.db.messages.empty());
}

TEST(ResolveRequests, DisabledDependentsFollowSilently) {
  Pass pass;
  pass.add("system");
  pass.add("tools", ver(1, 0), true).deps = {need("ssl")};  // disabled, no request
  InstalledPackage& vpn = pass.add("vpn");
  vpn.deps = {need("ssl")};
  vpn.scheduled = SCHEDULE_DISABLE;  // strengthened to uninstall
  InstalledPackage& openssl = pass.add("openssl");
  openssl.provides = {need("ssl")};
  openssl.scheduled = SCHEDULE_UNINSTALL;
  pass.resolve();
  EXPECT_EQ((Names{"system:0", "tools:1", "vpn:1", "openssl:1"}), pass.requests());
  EXPECT_EQ((Names{"openssl", "vpn", "tools"}), Pass::names(pass.removals));
  EXPECT_TRUE(pass.db.messages.empty());
}

TEST(ResolveRequests, ConflictsCascadeThroughDependencies) {
  Pass pass;
  pass.add("c").deps = {need("b")};
  pass.add("b").deps = {need("a")};
  pass.add("a");
  InstalledPackage& rival = pass.add("rival", ver(1, 0), true);
  rival.conflicts = {need("a")};
  rival.scheduled = SCHEDULE_ENABLE;
  pass.add("disabledUser", ver(1, 0), true).deps = {need("a")};
  pass.resolve();
  EXPECT_EQ((Names{"c:3", "b:3", "a:3", "rival:2", "disabledUser:0"}), pass.requests());
  EXPECT_EQ((Names{"a", "b", "c"}), Pass::names(pass.removals));
  EXPECT_EQ(Names{"rival"}, Pass::names(pass.enables));
  EXPECT_TRUE(pass.db.messages.empty());
}

TEST(ResolveRequests, NoPackageLeftEnabledIsRefused) {
  Pass pass;
  pass.add("system").scheduled = SCHEDULE_DISABLE;
  pass.add("web").scheduled = SCHEDULE_UNINSTALL;
  pass.add("old", ver(1, 0), true).scheduled = SCHEDULE_ENABLE;
  pass.db.packages.back()->deps = {need("missing")};  // loses what it needs: uninstalled
  // A bundle's placeholder is no package that would stay enabled.
  pass.add("", 0).conflicts = {need("web")};
  pass.resolve(1);
  EXPECT_FALSE(pass.resolved);
  EXPECT_EQ((Names{"system:0", "web:0", "old:0", ":0"}), pass.requests());
  EXPECT_TRUE(pass.removals.empty());
  EXPECT_TRUE(pass.enables.empty());
  EXPECT_EQ(Names{"ERROR: can not uninstall or disable all packages"}, pass.db.messages);

  pass.db.messages.clear();
  pass["web"].scheduled = SCHEDULE_UNINSTALL;
  pass.resolve(0);
  EXPECT_TRUE(pass.resolved);  // system stays enabled
  pass["system"].scheduled = SCHEDULE_DISABLE;
  pass.resolve(0);
  EXPECT_FALSE(pass.resolved);
  EXPECT_TRUE(pass.db.messages.empty());

  Pass empty;
  empty.resolve();
  EXPECT_TRUE(empty.resolved);
  EXPECT_TRUE(empty.removals.empty() && empty.enables.empty());
}

TEST(ResolveRequests, EnablingBringsDisabledProvidersAlong) {
  Pass pass;
  pass.add("system");
  InstalledPackage& web = pass.add("web", ver(1, 0), true);
  web.deps = {need("ssl")};
  web.scheduled = SCHEDULE_ENABLE;
  pass.add("openssl", ver(1, 0), true).provides = {need("ssl")};
  pass.add("dns", ver(1, 0), true).deps = {need("ssl")};  // not asked for, stays disabled
  pass.resolve();
  EXPECT_EQ((Names{"system:0", "web:2", "openssl:2", "dns:0"}), pass.requests());
  EXPECT_EQ((Names{"openssl", "web"}), Pass::names(pass.enables));
}

TEST(ResolveRequests, KeepingStopsAtADependencyWithoutProviders) {
  Pass pass;
  pass.add("system");
  pass.add("web").deps = {need("missing"), need("ssl")};
  InstalledPackage& openssl = pass.add("openssl");
  openssl.provides = {need("ssl")};
  openssl.scheduled = SCHEDULE_UNINSTALL;
  pass.resolve();
  // ssl was never looked at, and web, which lacks "missing", goes too.
  EXPECT_EQ((Names{"system:0", "web:1", "openssl:1"}), pass.requests());
  EXPECT_TRUE(pass.db.messages.empty());
}

TEST(ResolveRequests, ConflictingEnableRequests) {
  for (bool loserFirst : {true, false}) {
    Pass pass;
    pass.add("system");
    auto addLoser = [&] { pass.add("loser", ver(1, 0), true).scheduled = SCHEDULE_ENABLE; };
    if (loserFirst) addLoser();
    InstalledPackage& winner = pass.add("winner", ver(2, 0), true);
    winner.conflicts = {need("loser")};
    winner.scheduled = SCHEDULE_ENABLE;
    if (!loserFirst) addLoser();
    pass.resolve();
    EXPECT_EQ(SCHEDULE_NONE, pass["loser"].scheduled);
    EXPECT_EQ(Names{"winner"}, Pass::names(pass.enables));
    EXPECT_EQ(Names{"WARNING: can not enable loser: winner-2.0 conflicts with it"}, pass.db.messages);
  }
}

TEST(ResolveRequests, OfTwoEnableRequestsThatExcludeEachOtherOneLoses) {
  Pass pass;
  pass.add("system");
  pass.add("first", ver(1, 0), true).conflicts = {need("second")};
  pass.add("second", ver(2, 0), true).conflicts = {need("first")};
  pass["first"].scheduled = pass["second"].scheduled = SCHEDULE_ENABLE;
  pass.resolve();
  EXPECT_EQ(Names{"second"}, Pass::names(pass.enables));
  EXPECT_EQ(Names{"WARNING: can not enable first: second-2.0 conflicts with it"}, pass.db.messages);
}

TEST(ResolveRequests, EnabledExcluderIsDisabledFirst) {
  Pass pass;
  pass.add("system");
  pass.add("old").conflicts = {need("new")};
  pass.add("new", ver(1, 0), true).scheduled = SCHEDULE_ENABLE;
  pass.resolve();
  EXPECT_EQ(Names{"old"}, Pass::names(pass.removals));
  EXPECT_EQ(SCHEDULE_DISABLE, pass["old"].scheduled);
  EXPECT_EQ(Names{"new"}, Pass::names(pass.enables));
}

TEST(ResolveRequests, EnablingAnEnabledPackageKeepsWhatDependsOnIt) {
  Pass pass;
  pass.add("system");
  pass.add("ssl").scheduled = SCHEDULE_ENABLE;  // already enabled
  pass.add("web").deps = {need("ssl")};
  pass.add("mail").deps = {need("web")};
  pass.resolve();
  EXPECT_EQ((Names{"system:0", "ssl:2", "web:0", "mail:0"}), pass.requests());
  EXPECT_TRUE(pass.removals.empty());
  EXPECT_EQ(Names{"ssl"}, Pass::names(pass.enables));
}

TEST(ResolveRequests, BundleMembersFollowAndTheRecordSettles) {
  Pass pass;
  pass.add("system");
  InstalledPackage& bundle = pass.add("extras");
  bundle.isBundle = true;
  bundle.scheduled = SCHEDULE_UNINSTALL;
  pass.add("ppp").bundle = need("extras");
  pass.add("wifi").bundle = need("extras");
  pass.add("hotspot").deps = {need("wifi")};
  pass.resolve();
  // wifi is needed, and keeps its bundle record in turn.
  EXPECT_EQ((Names{"system:0", "extras:0", "ppp:1", "wifi:0", "hotspot:0"}), pass.requests());
  EXPECT_EQ((Names{"WARNING: can not uninstall wifi-1.0: hotspot depends on it",
                   "WARNING: can not uninstall extras-1.0: wifi depends on it"}),
            pass.db.messages);
}

TEST(ResolveRequests, DisablingABundleKeepsItsRecord) {
  Pass pass;
  pass.add("system");
  InstalledPackage& bundle = pass.add("extras");
  bundle.isBundle = true;
  bundle.scheduled = SCHEDULE_DISABLE;
  pass.add("ppp").bundle = need("extras");
  pass.add("wifi", ver(1, 0), true).bundle = need("extras");
  pass.resolve();
  EXPECT_EQ((Names{"system:0", "extras:3", "ppp:3", "wifi:3"}), pass.requests());
}

TEST(ResolveRequests, PlaceholdersAreNeverPlanned) {
  Pass pass;
  pass.add("system");
  pass.add("member");
  InstalledPackage& placeholder = pass.add("", 0);
  placeholder.conflicts = {need("member")};
  pass.resolve();
  // It excludes the member of its name, which is disabled; it is not planned.
  EXPECT_EQ(Names{"member"}, Pass::names(pass.removals));
  placeholder.scheduled = SCHEDULE_UNINSTALL;
  pass.add("x", ver(1, 0), true).scheduled = SCHEDULE_ENABLE;
  pass.resolve();
  EXPECT_EQ(Names{"x"}, Pass::names(pass.enables));
  EXPECT_EQ(Names{"member"}, Pass::names(pass.removals));
}

TEST(ResolveRequests, BundleLinksInACircleEndTheWalk) {
  Pass pass;
  pass.add("a", ver(1, 0), true).bundle = need("b");
  pass.add("b", ver(1, 0), true).bundle = need("a");
  pass.add("user").bundle = need("a");
  pass.resolve();
  EXPECT_EQ((Names{"a:2", "b:2", "user:0"}), pass.requests());
}

// Lays out the database directories of the set inside the root.
void layOut(const PrivateRoot& root, const Names& names) {
  for (const std::string& name : names) root.write("/flash/var/pdb/" + name + "/version", "1 0\n");
}

TEST(ProcessRequests, ReportLevels) {
  for (int report : {0, 1, 2}) {
    PrivateRoot root;
    layOut(root, {"system", "web", "dns", "ssh"});
    EXPECT_TRUE(runInRoot(root, [report] {
      Pass pass;
      pass.add("system");
      pass.add("web").scheduled = SCHEDULE_DISABLE;
      pass.add("dns").scheduled = SCHEDULE_UNINSTALL;
      pass.add("ssh", ver(1, 0), true).scheduled = SCHEDULE_ENABLE;
      Manifest manifest;
      CaptureStdout();
      EXPECT_TRUE(processRequests(pass.db, manifest, report));
      const std::string out = GetCapturedStdout();

      EXPECT_EQ((Names{"system", "web", "ssh"}), pass.listed());
      EXPECT_TRUE(pass["web"].disabled);
      EXPECT_FALSE(pass["ssh"].disabled);
      EXPECT_EQ(CHANGE_REMOVE, manifest.entries.at("/flash/var/pdb/dns/").kind);
      EXPECT_EQ(CHANGE_TEMP, manifest.entries.at("/flash/var/pdb/web/disabled").kind);

      const Names expected[] = {{},
                                {"disabled web-1.0", "enabled ssh-1.0"},
                                {"uninstalled dns-1.0", "disabled web-1.0", "enabled ssh-1.0"}};
      EXPECT_EQ(expected[report], pass.db.messages);
      EXPECT_EQ(report >= 2, out.find("uninstalling dns-1.0...") != std::string::npos);
      EXPECT_EQ(report >= 1, out.find("disabling web-1.0...") != std::string::npos);
      EXPECT_EQ(report >= 1, out.find("enabling ssh-1.0...") != std::string::npos);
    })) << report;
  }
}

TEST(ProcessRequests, NothingPlannedOrRefused) {
  PrivateRoot root;
  EXPECT_TRUE(runInRoot(root, [] {
    Pass pass;
    Manifest manifest;
    EXPECT_FALSE(processRequests(pass.db, manifest, 1));
    pass.add("system");
    EXPECT_FALSE(processRequests(pass.db, manifest, 1));
    pass["system"].scheduled = SCHEDULE_UNINSTALL;
    EXPECT_FALSE(processRequests(pass.db, manifest, 0));
    EXPECT_EQ(Names{"system"}, pass.listed());
    EXPECT_TRUE(manifest.empty());
  }));
}

TEST(ProcessRequests, UninstallTakesOutTheRecordItself) {
  // A package whose image lies in both places is loaded twice.
  PrivateRoot root;
  layOut(root, {"dup"});
  EXPECT_TRUE(runInRoot(root, [] {
    Pass pass;
    pass.add("system");
    InstalledPackage& first = pass.add("dup");
    pass.add("dup", ver(2, 0)).scheduled = SCHEDULE_UNINSTALL;
    Manifest manifest;
    EXPECT_TRUE(processRequests(pass.db, manifest, 0));
    ASSERT_EQ((Names{"system", "dup"}), pass.listed());
    EXPECT_EQ(&first, pass.db.packages[1]);

    EXPECT_TRUE(uninstallByName(pass.db, manifest, "dup"));
    EXPECT_FALSE(uninstallByName(pass.db, manifest, "dup"));
    EXPECT_EQ(Names{"system"}, pass.listed());
  }));
}

TEST(ProcessRequests, ApplyingPassesOverPlaceholders) {
  PrivateRoot root;
  EXPECT_TRUE(runInRoot(root, [] {
    Pass pass;
    InstalledPackage& placeholder = pass.add("", 0);
    placeholder.scheduled = SCHEDULE_UNINSTALL;
    Manifest manifest;
    applyRemovals(pass.db, manifest, {&placeholder}, 2);
    applyEnables(pass.db, manifest, {&placeholder}, 2);
    EXPECT_EQ(1u, pass.db.packages.size());
    EXPECT_TRUE(manifest.empty());
    EXPECT_TRUE(pass.db.messages.empty());
  }));
}

}  // namespace
