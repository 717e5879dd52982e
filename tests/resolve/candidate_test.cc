#include "resolve/candidate.h"

#include <gtest/gtest.h>

#include "package_set.h"

using namespace resolvetest;

namespace {

using Messages = std::vector<std::string>;

// A package file being judged.
struct Candidate : PackageFile {
  Candidate(const std::string& name, Version v, uint32_t built = 0) : PackageFile(name) {
    version = v;
    buildTime = built;
  }
};

// Device limits that a test sets; restored afterwards.
class DeviceRules : public testing::Test {
 protected:
  static Version minimum;
  static uint32_t eraseBlock;
  static int asked;

  void SetUp() override {
    saved_ = deviceLimits;
    minimum = 0;
    eraseBlock = 0;
    asked = 0;
    deviceLimits = {askMinimum, askEraseBlock};
  }
  void TearDown() override { deviceLimits = saved_; }

  static Version askMinimum() {
    ++asked;
    return minimum;
  }
  static uint32_t askEraseBlock() { return eraseBlock; }

  PackageSet set_;

 private:
  DeviceLimits saved_{};
};

Version DeviceRules::minimum = 0;
uint32_t DeviceRules::eraseBlock = 0;
int DeviceRules::asked = 0;

using ChooseCandidate = DeviceRules;

TEST_F(ChooseCandidate, InstalledVersionAndItsMessages) {
  set_.add("web", ver(3, 0));
  const Candidate older("web", ver(2, 0));
  EXPECT_EQ(NEWER_INSTALLED, chooseCandidate(set_.db, older, 1));
  EXPECT_EQ(NEWER_INSTALLED, chooseCandidate(set_.db, older, 3));
  EXPECT_EQ(Messages{"WARNING: omitting package web-2.0: newer package web-3.0 is already installed"},
            set_.db.messages);

  set_.db.messages.clear();
  const Candidate same("web", ver(3, 0));
  EXPECT_EQ(SAME_INSTALLED, chooseCandidate(set_.db, same, 1));
  EXPECT_EQ(SAME_INSTALLED, chooseCandidate(set_.db, same, 33));
  // A later build of the same version is an upgrade.
  EXPECT_EQ(OLDER_INSTALLED, chooseCandidate(set_.db, Candidate("web", ver(3, 0), 1), 1));
  EXPECT_EQ(Messages{"WARNING: omitting package web-3.0: it is already installed"}, set_.db.messages);

  // An upgrade is reported only to a caller that takes downgrades but not
  // upgrades.
  set_.db.messages.clear();
  const Candidate newer("web", ver(4, 0));
  EXPECT_EQ(OLDER_INSTALLED, chooseCandidate(set_.db, newer, 1));
  EXPECT_EQ(OLDER_INSTALLED, chooseCandidate(set_.db, newer, 3));
  EXPECT_EQ(OLDER_INSTALLED, chooseCandidate(set_.db, newer, 2));
  EXPECT_EQ(Messages{"WARNING: omitting package web-4.0: older package is already installed"},
            set_.db.messages);

  // Nothing installed of that name: a fresh install.
  EXPECT_EQ(0u, chooseCandidate(set_.db, Candidate("dhcp", ver(1, 0)), 1));
}

TEST_F(ChooseCandidate, BrandingIsNeverCompared) {
  set_.add("branding", ver(3, 0));
  EXPECT_EQ(0u, chooseCandidate(set_.db, Candidate("branding", ver(1, 0)), 1));
  EXPECT_EQ(0u, chooseCandidate(set_.db, Candidate("branding", ver(3, 0)), 1));
  EXPECT_TRUE(set_.db.messages.empty());
}

TEST_F(ChooseCandidate, OneMessageForTheFirstProblemNotAccepted) {
  set_.db.systemArch = "powerpc";
  set_.add("web", ver(3, 0));
  set_.add("excluder").conflicts = {need("web")};

  Candidate web("web", ver(2, 0));
  web.architecture = "mipsbe";
  web.deps = {need("ssl"), need("dns")};
  EXPECT_EQ(NEWER_INSTALLED | UNUSABLE | CONFLICTS, chooseCandidate(set_.db, web, 1));
  EXPECT_EQ(Messages{"WARNING: omitting package web-2.0: newer package web-3.0 is already installed"},
            set_.db.messages);

  // The downgrade accepted: the architecture speaks.
  set_.db.messages.clear();
  EXPECT_EQ(NEWER_INSTALLED | UNUSABLE | CONFLICTS, chooseCandidate(set_.db, web, 3));
  EXPECT_EQ(Messages{"ERROR: can not install web-2.0: it is not made for powerpc, but for mipsbe"},
            set_.db.messages);

  // The first missing dependency alone is named.
  set_.db.messages.clear();
  web.architecture.clear();
  EXPECT_EQ(NEWER_INSTALLED | UNUSABLE | CONFLICTS, chooseCandidate(set_.db, web, 3));
  EXPECT_EQ(Messages{"ERROR: can not install web-2.0: ssl is not installed, but is required"},
            set_.db.messages);

  // Unusable accepted: the conflict speaks, naming the excluder.
  set_.db.messages.clear();
  web.deps = {need("ssl", ver(1, 5))};
  EXPECT_EQ(NEWER_INSTALLED | UNUSABLE | CONFLICTS, chooseCandidate(set_.db, web, 3 | UNUSABLE));
  EXPECT_EQ(Messages{"ERROR: can not install web-2.0: it conflicts with excluder-1.0"}, set_.db.messages);

  // A bundle member is judged with everything accepted: silent, same verdict.
  set_.db.messages.clear();
  EXPECT_EQ(NEWER_INSTALLED | UNUSABLE | CONFLICTS, chooseCandidate(set_.db, web, 0xFFFFFFFF));
  EXPECT_TRUE(set_.db.messages.empty());
}

TEST_F(ChooseCandidate, DependencyMessageNamesTheMinimumVersion) {
  Candidate web("web", ver(1, 0));
  web.deps = {need("ssl", ver(1, 5))};
  EXPECT_EQ(UNUSABLE, chooseCandidate(set_.db, web, 1));
  EXPECT_EQ(Messages{"ERROR: can not install web-1.0: ssl-1.5 is not installed, but is required"},
            set_.db.messages);
}

TEST_F(ChooseCandidate, ProvidersMustBeEnabledAndReal) {
  Candidate web("web", ver(1, 0));
  web.deps = {need("ssl")};
  InstalledPackage& disabled = set_.add("ssl", ver(1, 0), true);
  EXPECT_EQ(UNUSABLE, chooseCandidate(set_.db, web, 0xFFFFFFFF));
  disabled.disabled = false;
  disabled.version = disabled.buildTime = 0xFFFFFFFF;
  EXPECT_EQ(UNUSABLE, chooseCandidate(set_.db, web, 0xFFFFFFFF));
  set_.add("openssl").provides = {need("ssl")};
  EXPECT_EQ(0u, chooseCandidate(set_.db, web, 1));
}

TEST_F(ChooseCandidate, OnlyEnabledPackagesExclude) {
  InstalledPackage& excluder = set_.add("excluder", ver(1, 0), true);
  excluder.conflicts = {need("web")};
  const Candidate web("web", ver(1, 0));
  EXPECT_EQ(0u, chooseCandidate(set_.db, web, 1));
  excluder.disabled = false;
  EXPECT_EQ(CONFLICTS, chooseCandidate(set_.db, web, 1 | CONFLICTS));
  EXPECT_TRUE(set_.db.messages.empty());

  // The placeholder of a bundle's list of disabled members excludes the
  // member of that name, whatever its version.
  PackageSet placeholders;
  placeholders.add("", 0).conflicts = {need("web")};
  EXPECT_EQ(CONFLICTS, chooseCandidate(placeholders.db, web, 0xFFFFFFFF));
}

TEST_F(ChooseCandidate, DeviceRulesOnlyForSystemPackages) {
  minimum = ver(9, 0);
  for (const char* name : {"system", "korvalis", "korvalis-extra"})
    EXPECT_EQ(UNUSABLE, chooseCandidate(set_.db, Candidate(name, ver(3, 0)), 1)) << name;
  for (const char* name : {"korvali", "systemx", "System", "xkorvalis"})
    EXPECT_EQ(0u, chooseCandidate(set_.db, Candidate(name, ver(3, 0)), 1)) << name;
  EXPECT_EQ(3, asked);
  EXPECT_EQ((Messages{"ERROR: omitting package system-3.0: min Korvalis version is 9.0",
                      "ERROR: omitting package korvalis-3.0: min Korvalis version is 9.0",
                      "ERROR: omitting package korvalis-extra-3.0: min Korvalis version is 9.0"}),
            set_.db.messages);
}

TEST_F(ChooseCandidate, DeviceMessageCountsAsTheOneMessage) {
  minimum = ver(9, 0);
  Candidate system("system", ver(3, 0));
  system.deps = {need("missing")};
  EXPECT_EQ(UNUSABLE, chooseCandidate(set_.db, system, 1));
  EXPECT_EQ(1u, set_.db.messages.size());

  // Not reported by the device rule when unusable is accepted, nor after an
  // earlier message; the dependency message then follows or not.
  set_.db.messages.clear();
  EXPECT_EQ(UNUSABLE, chooseCandidate(set_.db, system, 1 | UNUSABLE));
  EXPECT_TRUE(set_.db.messages.empty());
  set_.add("system", ver(4, 0));
  EXPECT_EQ(NEWER_INSTALLED | UNUSABLE, chooseCandidate(set_.db, system, 1));
  EXPECT_EQ(Messages{"WARNING: omitting package system-3.0: newer package system-4.0 is already installed"},
            set_.db.messages);
}

TEST_F(DeviceRules, MinimumVersionAndEraseBlock) {
  const Candidate before("system", 0x03146301);  // 3.20rc1
  const Candidate since("system", 0x03146302);   // 3.20rc2
  EXPECT_TRUE(checkCompatibility(set_.db, before, true));

  eraseBlock = 0x40000;
  EXPECT_FALSE(checkCompatibility(set_.db, before, true));
  EXPECT_TRUE(checkCompatibility(set_.db, since, true));
  eraseBlock = 0x20000;
  EXPECT_TRUE(checkCompatibility(set_.db, before, true));
  EXPECT_EQ(Messages{"WARNING: omitting package system-3.20rc1: it does not support current file system"},
            set_.db.messages);

  set_.db.messages.clear();
  minimum = 0x03146302;
  EXPECT_FALSE(checkCompatibility(set_.db, before, false));
  EXPECT_TRUE(checkCompatibility(set_.db, since, false));
  EXPECT_TRUE(set_.db.messages.empty());
}

}  // namespace
