#include "install/apply_plan.h"

#include <gtest/gtest.h>

#include "package_set.h"
#include "support/private_root.h"

using namespace resolvetest;

namespace {

using Names = std::vector<std::string>;

// A package set with the outcome of one resolution.
struct Pass : PackageSet {
  // Enabled records without requests, to begin with.
  explicit Pass(std::initializer_list<const char*> plain = {}) {
    for (const char* name : plain) add(name);
  }

  InstalledPackage& asked(const std::string& name, ScheduledAction request, bool disabled = false) {
    InstalledPackage& package = add(name, ver(1, 0), disabled);
    package.scheduled = request;
    return package;
  }

  // The request of every record after the pass, the planned removals ("-")
  // and enables ("+") in their order, a refusal, and the messages.
  std::string resolve(int report = 1) {
    PackageList removals, enables;
    db.messages.clear();
    const bool resolved = resolveRequests(db, removals, enables, report);
    std::string outcome;
    for (const InstalledPackage* package : db.packages)
      outcome += " " + package->name + ":" + std::to_string(package->scheduled);
    for (const InstalledPackage* package : removals) outcome += " -" + package->name;
    for (const InstalledPackage* package : enables) outcome += " +" + package->name;
    if (!resolved) outcome += " refused";
    for (const std::string& message : db.messages) outcome += " | " + message;
    return outcome.erase(0, 1);
  }
};

TEST(ResolveRequests, UninstallOfANeededProviderIsRefused) {
  Pass pass({"system"});
  pass.add("web").deps = {need("ssl")};
  pass.asked("openssl", SCHEDULE_UNINSTALL).provides = {need("ssl")};
  EXPECT_EQ("system:0 web:0 openssl:0 | WARNING: can not uninstall openssl-1.0: web depends on it",
            pass.resolve());
  // Silent at report 0; a disable request is refused the same way.
  pass["openssl"].scheduled = SCHEDULE_DISABLE;
  EXPECT_EQ("system:0 web:0 openssl:0", pass.resolve(0));
}

TEST(ResolveRequests, DependentsThatLoseTheirProvidersFollowSilently) {
  Pass pass({"system"});
  pass.add("tools", ver(1, 0), true).deps = {need("ssl")};   // disabled, no request
  pass.asked("vpn", SCHEDULE_DISABLE).deps = {need("ssl")};  // strengthened to uninstall
  // Keeping stops at a requirement without providers: ssl is never looked
  // at, and web, which lacks "missing", goes too.
  pass.add("web").deps = {need("missing"), need("ssl")};
  pass.asked("openssl", SCHEDULE_UNINSTALL).provides = {need("ssl")};
  EXPECT_EQ("system:0 tools:1 vpn:1 web:1 openssl:1 -openssl -web -vpn -tools", pass.resolve());

  // A conflict disables a, and what depends on it in turn; a disabled user
  // of it is left alone.
  Pass conflict;
  conflict.add("c").deps = {need("b")};
  conflict.add("b").deps = {need("a")};
  conflict.add("a");
  conflict.asked("rival", SCHEDULE_ENABLE, true).conflicts = {need("a")};
  conflict.add("disabledUser", ver(1, 0), true).deps = {need("a")};
  EXPECT_EQ("c:3 b:3 a:3 rival:2 disabledUser:0 -a -b -c +rival", conflict.resolve());
}

TEST(ResolveRequests, NoPackageLeftEnabledIsRefused) {
  Pass pass;
  pass.asked("system", SCHEDULE_DISABLE);
  pass.asked("web", SCHEDULE_UNINSTALL);
  pass.asked("old", SCHEDULE_ENABLE, true).deps = {need("missing")};  // loses what it needs
  // A bundle's placeholder is no package that would stay enabled.
  pass.add("", 0).conflicts = {need("web")};
  EXPECT_EQ("system:0 web:0 old:0 :0 refused | ERROR: can not uninstall or disable all packages",
            pass.resolve());
  pass["web"].scheduled = SCHEDULE_UNINSTALL;
  EXPECT_EQ("system:0 web:1 old:1 :0 -old -web", pass.resolve(0));  // system stays enabled
  pass["system"].scheduled = SCHEDULE_DISABLE;
  EXPECT_EQ("system:0 web:0 old:0 :0 refused", pass.resolve(0));
  EXPECT_EQ("", Pass().resolve());
}

TEST(ResolveRequests, EnableRequests) {
  // Disabled providers come along, in the order of what they need.
  Pass pass({"system"});
  pass.asked("web", SCHEDULE_ENABLE, true).deps = {need("ssl")};
  pass.add("openssl", ver(1, 0), true).provides = {need("ssl")};
  pass.add("dns", ver(1, 0), true).deps = {need("ssl")};  // not asked for, stays disabled
  EXPECT_EQ("system:0 web:2 openssl:2 dns:0 +openssl +web", pass.resolve());

  // An enabled package that excludes the new one is disabled.
  Pass excluder({"system"});
  excluder.add("old").conflicts = {need("new")};
  excluder.asked("new", SCHEDULE_ENABLE, true);
  EXPECT_EQ("system:0 old:3 new:2 -old +new", excluder.resolve());

  // An enabled package asked to be enabled still provides.
  Pass enabled({"system"});
  enabled.asked("ssl", SCHEDULE_ENABLE);
  enabled.add("web").deps = {need("ssl")};
  enabled.add("mail").deps = {need("web")};
  EXPECT_EQ("system:0 ssl:2 web:0 mail:0 +ssl", enabled.resolve());
}

TEST(ResolveRequests, OfTwoEnableRequestsThatExcludeOneLoses) {
  // The excluded one loses, listed first or not; of two that exclude each
  // other, the first.
  const std::pair<bool, bool> cases[] = {{true, false}, {false, false}, {true, true}};
  for (const auto& [loserFirst, mutual] : cases) {
    Pass pass({"system"});
    if (loserFirst) pass.asked("loser", SCHEDULE_ENABLE, true);
    pass.asked("winner", SCHEDULE_ENABLE, true).conflicts = {need("loser")};
    pass["winner"].version = ver(2, 0);
    if (!loserFirst) pass.asked("loser", SCHEDULE_ENABLE, true);
    if (mutual) pass["loser"].conflicts = {need("winner")};
    const std::string requests = loserFirst ? "system:0 loser:0 winner:2" : "system:0 winner:2 loser:0";
    EXPECT_EQ(requests + " +winner | WARNING: can not enable loser: winner-2.0 conflicts with it",
              pass.resolve());
  }
}

TEST(ResolveRequests, BundleRecordsAndTheirMembers) {
  // Members follow; wifi is needed, and keeps its bundle record in turn.
  Pass pass({"system"});
  pass.asked("extras", SCHEDULE_UNINSTALL).isBundle = true;
  pass.add("ppp").bundle = need("extras");
  pass.add("wifi").bundle = need("extras");
  pass.add("hotspot").deps = {need("wifi")};
  EXPECT_EQ("system:0 extras:0 ppp:1 wifi:0 hotspot:0 -ppp"
            " | WARNING: can not uninstall wifi-1.0: hotspot depends on it"
            " | WARNING: can not uninstall extras-1.0: wifi depends on it",
            pass.resolve());

  // A disabled bundle keeps its record.
  Pass disabled({"system"});
  disabled.asked("extras", SCHEDULE_DISABLE).isBundle = true;
  disabled.add("ppp").bundle = need("extras");
  disabled.add("wifi", ver(1, 0), true).bundle = need("extras");
  EXPECT_EQ("system:0 extras:3 ppp:3 wifi:3 -wifi -ppp -extras", disabled.resolve());

  // Bundle links in a circle end the walk.
  Pass circle;
  circle.add("a", ver(1, 0), true).bundle = need("b");
  circle.add("b", ver(1, 0), true).bundle = need("a");
  circle.add("user").bundle = need("a");
  EXPECT_EQ("a:2 b:2 user:0 +b +a", circle.resolve());
}

TEST(ResolveRequests, PlaceholdersAreNeverPlanned) {
  Pass pass({"system", "member"});
  // It excludes the member of its name, which is disabled.
  InstalledPackage& placeholder = pass.add("", 0);
  placeholder.conflicts = {need("member")};
  EXPECT_EQ("system:0 member:3 :0 -member", pass.resolve());
  placeholder.scheduled = SCHEDULE_UNINSTALL;
  pass.asked("x", SCHEDULE_ENABLE, true);
  EXPECT_EQ("system:0 member:3 :1 x:2 -member +x", pass.resolve());
}

// Lays out the database directories of the set inside the root.
void layOut(const PrivateRoot& root, const Names& names) {
  for (const std::string& name : names) root.write("/flash/var/pdb/" + name + "/version", "1 0\n");
}

TEST(ProcessRequests, ReportLevels) {
  PrivateRoot root;
  layOut(root, {"system", "web", "dns", "ssh"});
  EXPECT_TRUE(runInRoot(root, [] {
    const Names expected[] = {{},
                              {"disabled web-1.0", "enabled ssh-1.0"},
                              {"uninstalled dns-1.0", "disabled web-1.0", "enabled ssh-1.0"}};
    for (int report : {0, 1, 2}) {
      Pass pass({"system"});
      pass.asked("web", SCHEDULE_DISABLE);
      pass.asked("dns", SCHEDULE_UNINSTALL);
      pass.asked("ssh", SCHEDULE_ENABLE, true);
      Manifest manifest;
      testing::internal::CaptureStdout();
      EXPECT_TRUE(processRequests(pass.db, manifest, report));
      const std::string out = testing::internal::GetCapturedStdout();
      EXPECT_EQ((Names{"system", "web", "ssh"}), pass.listed());
      EXPECT_TRUE(pass["web"].disabled);
      EXPECT_FALSE(pass["ssh"].disabled);
      EXPECT_EQ(CHANGE_REMOVE, manifest.entries.at("/flash/var/pdb/dns/").kind);
      EXPECT_EQ(CHANGE_TEMP, manifest.entries.at("/flash/var/pdb/web/disabled").kind);
      EXPECT_EQ(expected[report], pass.db.messages);
      EXPECT_EQ(report >= 2, out.find("uninstalling dns-1.0...") != std::string::npos);
      EXPECT_EQ(report >= 1, out.find("disabling web-1.0...") != std::string::npos);
      EXPECT_EQ(report >= 1, out.find("enabling ssh-1.0...") != std::string::npos);
    }
  }));
}

TEST(ProcessRequests, NothingToDoAndTheRecordPlanned) {
  PrivateRoot root;
  layOut(root, {"dup"});
  EXPECT_TRUE(runInRoot(root, [] {
    Pass pass;
    Manifest manifest;
    EXPECT_FALSE(processRequests(pass.db, manifest, 1));
    pass.asked("system", SCHEDULE_UNINSTALL);
    EXPECT_FALSE(processRequests(pass.db, manifest, 0));  // refused
    pass["system"].scheduled = SCHEDULE_NONE;
    EXPECT_FALSE(processRequests(pass.db, manifest, 1));  // nothing asked
    EXPECT_TRUE(manifest.empty());

    // Uninstalling takes out the record planned, not the first of its name:
    // a package whose image lies in both places is loaded twice.
    InstalledPackage& first = pass.add("dup");
    pass.asked("dup", SCHEDULE_UNINSTALL).version = ver(2, 0);
    EXPECT_TRUE(processRequests(pass.db, manifest, 0));
    ASSERT_EQ((Names{"system", "dup"}), pass.listed());
    EXPECT_EQ(&first, pass.db.packages[1]);
  }));
}

}  // namespace
