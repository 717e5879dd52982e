#include "resolve/candidate.h"

#include <gtest/gtest.h>

#include "package_set.h"

using namespace resolvetest;

namespace {

using Verdict = std::pair<uint32_t, std::vector<std::string>>;

// A package file being judged.
struct Candidate : PackageFile {
  Candidate(const std::string& name, Version v, uint32_t built = 0) : PackageFile(name) {
    version = v;
    buildTime = built;
  }
};

// Device limits that a test sets; restored afterwards.
Version minimum = 0;
uint32_t eraseBlock = 0;

class ChooseCandidate : public testing::Test {
 protected:
  void SetUp() override {
    minimum = eraseBlock = 0;
    deviceLimits = {[] { return minimum; }, [] { return eraseBlock; }};
  }
  void TearDown() override { deviceLimits = saved_; }

  // The verdict and the messages printed for the candidate.
  Verdict judge(const Package& candidate, uint32_t accept) {
    set_.db.messages.clear();
    const uint32_t verdict = chooseCandidate(set_.db, candidate, accept);
    return {verdict, set_.db.messages};
  }

  PackageSet set_;

 private:
  const DeviceLimits saved_ = deviceLimits;
};

TEST_F(ChooseCandidate, InstalledVersionAndItsMessages) {
  set_.add("web", ver(3, 0));
  const Candidate older("web", ver(2, 0)), same("web", ver(3, 0)), newer("web", ver(4, 0));
  EXPECT_EQ(Verdict(NEWER_INSTALLED,
                    {"WARNING: omitting package web-2.0: newer package web-3.0 is already installed"}),
            judge(older, 1));
  EXPECT_EQ(Verdict(NEWER_INSTALLED, {}), judge(older, 3));
  EXPECT_EQ(Verdict(SAME_INSTALLED, {"WARNING: omitting package web-3.0: it is already installed"}),
            judge(same, 1));
  EXPECT_EQ(Verdict(SAME_INSTALLED, {}), judge(same, 33));
  // A later build of the same version is an upgrade, reported only to a
  // caller that takes downgrades but not upgrades.
  EXPECT_EQ(Verdict(OLDER_INSTALLED, {}), judge(Candidate("web", ver(3, 0), 1), 1));
  EXPECT_EQ(Verdict(OLDER_INSTALLED, {}), judge(newer, 3));
  EXPECT_EQ(Verdict(OLDER_INSTALLED,
                    {"WARNING: omitting package web-4.0: older package is already installed"}),
            judge(newer, 2));

  // Nothing installed of that name is a fresh install; branding is never
  // compared.
  EXPECT_EQ(Verdict(0, {}), judge(Candidate("dhcp", ver(1, 0)), 1));
  set_.add("branding", ver(3, 0));
  EXPECT_EQ(Verdict(0, {}), judge(Candidate("branding", ver(1, 0)), 1));
  EXPECT_EQ(Verdict(0, {}), judge(Candidate("branding", ver(3, 0)), 1));
}

TEST_F(ChooseCandidate, OneMessageForTheFirstProblemNotAccepted) {
  set_.db.systemArch = "powerpc";
  set_.add("web", ver(3, 0));
  set_.add("excluder").conflicts = {need("web")};
  Candidate web("web", ver(2, 0));
  web.deps = {need("ssl", ver(1, 5)), need("dns")};
  web.architecture = "mipsbe";
  const uint32_t all = NEWER_INSTALLED | UNUSABLE | CONFLICTS;
  EXPECT_EQ(Verdict(all, {"WARNING: omitting package web-2.0: newer package web-3.0 is already installed"}),
            judge(web, 1));
  // The downgrade accepted: the architecture speaks, else the first missing
  // dependency alone, else the conflict, naming the excluder.
  EXPECT_EQ(Verdict(all, {"ERROR: can not install web-2.0: it is not made for powerpc, but for mipsbe"}),
            judge(web, 3));
  // A bundle member is judged with everything accepted: silent.
  EXPECT_EQ(Verdict(all, {}), judge(web, 0xFFFFFFFF));
  web.architecture.clear();
  EXPECT_EQ(Verdict(all, {"ERROR: can not install web-2.0: ssl-1.5 is not installed, but is required"}),
            judge(web, 3));
  EXPECT_EQ(Verdict(all, {"ERROR: can not install web-2.0: it conflicts with excluder-1.0"}),
            judge(web, 3 | UNUSABLE));
}

TEST_F(ChooseCandidate, OnlyEnabledRealPackagesProvideOrExclude) {
  Candidate web("web", ver(1, 0));
  web.deps = {need("ssl")};
  InstalledPackage& ssl = set_.add("ssl", ver(1, 0), true);
  EXPECT_EQ(Verdict(UNUSABLE, {}), judge(web, 0xFFFFFFFF));
  ssl.disabled = false;
  ssl.version = ssl.buildTime = 0xFFFFFFFF;
  EXPECT_EQ(Verdict(UNUSABLE, {}), judge(web, 0xFFFFFFFF));
  set_.add("openssl").provides = {need("ssl")};
  EXPECT_EQ(Verdict(0, {}), judge(web, 1));

  InstalledPackage& excluder = set_.add("excluder", ver(1, 0), true);
  excluder.conflicts = {need("web")};
  EXPECT_EQ(Verdict(0, {}), judge(web, 1));
  excluder.disabled = false;
  EXPECT_EQ(Verdict(CONFLICTS, {}), judge(web, 1 | CONFLICTS));

  // The placeholder of a bundle's list of disabled members excludes the
  // member of that name, whatever its version.
  set_.db.packages.clear();
  set_.add("", 0).conflicts = {need("web")};
  EXPECT_EQ(Verdict(CONFLICTS, {}), judge(Candidate("web", ver(1, 0)), 0xFFFFFFFF));
}

TEST_F(ChooseCandidate, DeviceRulesOnlyForSystemPackages) {
  minimum = ver(9, 0);
  for (const std::string name : {"system", "korvalis", "korvalis-extra"})
    EXPECT_EQ(Verdict(UNUSABLE, {"ERROR: omitting package " + name + "-3.0: min Korvalis version is 9.0"}),
              judge(Candidate(name, ver(3, 0)), 1));
  for (const char* name : {"korvali", "systemx", "System", "xkorvalis"})
    EXPECT_EQ(Verdict(0, {}), judge(Candidate(name, ver(3, 0)), 1)) << name;

  // The device message is the one message: no dependency message follows.
  // None when unusable is accepted, nor after an earlier message.
  Candidate system("system", ver(3, 0));
  system.deps = {need("missing")};
  EXPECT_EQ(Verdict(UNUSABLE, {"ERROR: omitting package system-3.0: min Korvalis version is 9.0"}),
            judge(system, 1));
  EXPECT_EQ(Verdict(UNUSABLE, {}), judge(system, 1 | UNUSABLE));
  set_.add("system", ver(4, 0));
  EXPECT_EQ(Verdict(NEWER_INSTALLED | UNUSABLE,
                    {"WARNING: omitting package system-3.0: newer package system-4.0 is already installed"}),
            judge(system, 1));
}

TEST_F(ChooseCandidate, MinimumVersionAndEraseBlock) {
  const Candidate before("system", 0x03146301);  // 3.20rc1
  const Candidate since("system", 0x03146302);   // 3.20rc2
  // Both limits 0, as when the flash requests fail: nothing is refused.
  EXPECT_TRUE(checkCompatibility(set_.db, before, true));

  eraseBlock = 0x40000;
  EXPECT_FALSE(checkCompatibility(set_.db, before, true));
  EXPECT_TRUE(checkCompatibility(set_.db, since, true));
  eraseBlock = 0x20000;
  EXPECT_TRUE(checkCompatibility(set_.db, before, true));
  EXPECT_EQ(std::vector<std::string>{"WARNING: omitting package system-3.20rc1: it does not support current "
                                     "file system"},
            set_.db.messages);

  set_.db.messages.clear();
  minimum = 0x03146302;
  EXPECT_FALSE(checkCompatibility(set_.db, before, false));
  EXPECT_TRUE(checkCompatibility(set_.db, since, false));
  EXPECT_TRUE(set_.db.messages.empty());
}

}  // namespace
