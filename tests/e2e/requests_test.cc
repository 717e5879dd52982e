// Requests end to end: the schedule files under /ram/pdb that ask to
// uninstall, disable or enable an installed package, and the cleanup run
// that removes packages made for systems older than 3.22.
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/install_support.h"
#include "support/private_root.h"

namespace {

using e2e::Pkg;
using Lines = std::vector<std::string>;

Pkg simple(const std::string& name, const std::string& version, const Lines& lines = {}) {
  return Pkg{name, version, lines, {{"etc/" + name, name + "\n"}}};
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Requests : public ::testing::Test {
 protected:
  void SetUp() override {
    e2e::installFromStdin(root, shop.build(simple("alpha", "1.0")));
    e2e::installFromStdin(root, shop.build(simple("beta", "1.0", {"depends alpha"})));
    e2e::installFromStdin(root, shop.build(simple("gamma", "1.0")));
  }
  // Runs the default mode with these schedule files, then takes them away
  // as a reboot would.
  ProgramResult runWith(const std::map<std::string, std::string>& schedules) {
    for (const auto& schedule : schedules)
      root.write("/ram/pdb/" + schedule.first + "/schedule", schedule.second);
    const ProgramResult result = runInstaller(root, {});
    for (const auto& schedule : schedules)
      unlink(root.host("/ram/pdb/" + schedule.first + "/schedule").c_str());
    unlink(root.host("/flash/PCKGS_CHANGED").c_str());
    return result;
  }

  PrivateRoot root;
  e2e::PackageShop shop;
};

TEST_F(Requests, DisableEnableAndUninstall) {
  ASSERT_EQ(0, runWith({{"gamma", "disable\n"}}).status);
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/gamma/disabled"));
  EXPECT_EQ("disabled gamma-1.0", e2e::postLog(root).back());

  ASSERT_EQ(0, runWith({{"gamma", "enable"}}).status);
  EXPECT_FALSE(root.exists("/flash/var/pdb/gamma/disabled"));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/gamma/enabled"));
  EXPECT_EQ("enabled gamma-1.0", e2e::postLog(root).back());

  ASSERT_EQ(0, runWith({{"gamma", "uninstall"}}).status);
  EXPECT_FALSE(root.exists("/flash/etc/gamma"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/gamma"));
  EXPECT_EQ("enabled gamma-1.0", e2e::postLog(root).back());  // no word of the uninstall
  EXPECT_EQ(2u, e2e::shownNames(root).size());
}

TEST_F(Requests, RequestsThatCannotBeHonoured) {
  const auto before = e2e::snapshot(root, "/flash");
  ProgramResult result = runWith({{"alpha", "uninstall"}});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("WARNING: can not uninstall alpha-1.0: beta depends on it", e2e::postLog(root).back());
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));

  result = runWith({{"alpha", "disable"}, {"beta", "disable"}, {"gamma", "disable"}});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("ERROR: can not uninstall or disable all packages", e2e::postLog(root).back());
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
  // A request for a package that is not installed is no request.
  result = runWith({{"nothing", "uninstall"}});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
}

// Stream mode carries out the requests too, with the install.
TEST_F(Requests, StreamModeCarriesThemOut) {
  root.write("/ram/pdb/gamma/schedule", "uninstall");
  e2e::installFromStdin(root, shop.build(simple("delta", "1.0")));
  EXPECT_FALSE(root.exists("/flash/var/pdb/gamma"));
  EXPECT_FALSE(root.exists("/flash/etc/gamma"));
  EXPECT_EQ("delta\n", root.read("/flash/etc/delta"));
}

TEST(Cleanup, RemovesPackagesForOlderSystems) {
  PrivateRoot root;
  e2e::PackageShop shop;
  for (const Pkg& pkg :
       {simple("system", "3.22"), simple("plix", "1.0"), simple("disk-drivers", "1.0"),
        simple("oldapp", "1.0", {"depends system >= 3.21"}),
        simple("edgeapp", "1.0", {"depends system >= 0x031665FF"}), simple("oldlib", "1.0"),
        simple("newapp", "1.0", {"depends system >= 3.22", "depends oldlib"}),
        simple("twoways", "1.0", {"depends system", "depends system >= 3.22"})})
    e2e::installFromStdin(root, shop.build(pkg));
  e2e::installFromStdin(
      root, shop.buildBundle("suite", "1.0", {simple("member", "1.0", {"depends system >= 3.22"})},
                             {}, {"image"}));
  const Lines logBefore = e2e::postLog(root);

  const ProgramResult result = runInstaller(root, {"--cleanup", "--show"});
  EXPECT_EQ(0, result.status);
  EXPECT_TRUE(
      contains(result.out, "WARNING: can not uninstall oldlib-1.0: newapp depends on it\n"));
  for (const char* gone : {"oldapp", "edgeapp"}) {
    EXPECT_FALSE(root.exists(std::string("/flash/var/pdb/") + gone)) << gone;
    EXPECT_FALSE(root.exists(std::string("/flash/etc/") + gone)) << gone;
  }
  // Any of its "system" entries may keep a package, not only the first.
  for (const char* kept :
       {"system", "plix", "disk-drivers", "newapp", "oldlib", "twoways", "suite", "member"})
    EXPECT_TRUE(root.exists(std::string("/flash/var/pdb/") + kept)) << kept;
  EXPECT_EQ("newapp\n", root.read("/flash/etc/newapp"));
  // Cleanup keeps no log and marks nothing.
  EXPECT_EQ(logBefore, e2e::postLog(root));
  EXPECT_FALSE(root.exists("/flash/PCKGS_CHANGED"));
}

}  // namespace
