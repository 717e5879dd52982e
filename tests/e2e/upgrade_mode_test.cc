// The default mode end to end: package files found in the download
// directories installed in dependency order, downgrades and their floor,
// which directory is used, --reinstall, --safe with a later --commit or
// --cancel, and the post-install log across runs.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/install_support.h"
#include "support/private_root.h"

namespace {

using e2e::Pkg;
using Lines = std::vector<std::string>;

Pkg simple(const std::string& name, const std::string& version, const Lines& lines = {}) {
  return Pkg{name, version, lines, {{"etc/" + name, name + " " + version + "\n"}}};
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(UpgradeMode, InstallsInDependencyOrder) {
  PrivateRoot root;
  e2e::PackageShop shop;
  // Named so that neither name order nor the order of the files gives the
  // dependency order.
  e2e::download(root, shop.build(simple("app", "1.0", {"depends mid >= 1.0"})), "a.npk");
  e2e::download(root, shop.build(simple("lib", "1.0")), "c.npk");
  e2e::download(root, shop.build(simple("mid", "1.0", {"depends lib"})), "b.npk");
  const ProgramResult result = runInstaller(root, {});
  ASSERT_EQ(0, result.status) << result.out;

  EXPECT_EQ((Lines{"installed lib-1.0", "installed mid-1.0", "installed app-1.0"}),
            e2e::postLog(root));
  EXPECT_EQ("app 1.0\n", root.read("/flash/etc/app"));
  EXPECT_EQ("mid " + std::to_string(e2e::packed(1, 0)) + " 0\n",
            root.read("/flash/var/pdb/app/deps"));
  EXPECT_TRUE(root.exists("/flash/PCKGS_CHANGED"));
  EXPECT_EQ("", root.read("/flash/PCKGS_CHANGED"));
  // Only image packages take their downloaded file.
  EXPECT_TRUE(root.exists("/rw/pckg/.download/a.npk"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/flash"));
}

TEST(UpgradeMode, UpgradeAndDowngradeWithAndWithoutAFloor) {
  PrivateRoot root;
  e2e::PackageShop shop;
  Pkg one = simple("alpha", "1.0");
  one.files["etc/alpha.old"] = "old\n";
  const std::string oneBytes = shop.build(one);
  const std::string twoBytes = shop.build(simple("alpha", "2.0"));
  e2e::installFromStdin(root, oneBytes);

  e2e::download(root, twoBytes, "alpha.npk");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("alpha 2.0\n", root.read("/flash/etc/alpha"));
  EXPECT_FALSE(root.exists("/flash/etc/alpha.old"));
  unlink(root.host("/flash/PCKGS_CHANGED").c_str());
  const auto two = e2e::snapshot(root, "/flash");

  e2e::download(root, oneBytes, "alpha.npk");
  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ(two, e2e::snapshot(root, "/flash"));
  EXPECT_EQ("WARNING: omitting package alpha-1.0: newer package alpha-2.0 is already installed",
            e2e::postLog(root).back());

  // The downgrade file allows downgrades to its version and above; the
  // number is what its digits say, whatever follows them.
  root.write("/ram/DOWNGRADE", std::to_string(e2e::packed(1, 1)) + "#floor\n");
  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ(two, e2e::snapshot(root, "/flash"));
  EXPECT_EQ("WARNING: ommitting package alpha-1.0: not allowed", e2e::postLog(root).back());

  root.write("/ram/DOWNGRADE", std::to_string(e2e::packed(1, 0)));
  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("alpha 1.0\n", root.read("/flash/etc/alpha"));
  EXPECT_EQ("old\n", root.read("/flash/etc/alpha.old"));
  EXPECT_EQ("installed alpha-1.0", e2e::postLog(root).back());

  // An empty downgrade file sets no floor.
  e2e::installFromStdin(root, twoBytes);
  root.write("/ram/DOWNGRADE", "");
  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("alpha 1.0\n", root.read("/flash/etc/alpha"));
}

TEST(UpgradeMode, FirstDirectoryWithAPackageIsTheOnlyOneUsed) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::download(root, shop.build(simple("one", "1.0")), "one.npk");
  e2e::download(root, shop.build(simple("two", "1.0")), "two.npk", "/flash/rw/pckg/");
  e2e::download(root, shop.build(simple("three", "1.0")), "three.dpk", "/flash/var/pckg/");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ((Lines{"one"}), e2e::shownNames(root));

  root.write("/rw/pckg/.download/IGNORE", "");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("two 1.0\n", root.read("/flash/etc/two"));
  EXPECT_FALSE(root.exists("/flash/etc/three"));

  // Files that are no package files, and a broken one, yield no candidate.
  unlink(root.host("/rw/pckg/.download/IGNORE").c_str());
  unlink(root.host("/rw/pckg/.download/one.npk").c_str());
  unlink(root.host("/flash/rw/pckg/two.npk").c_str());
  const std::string four = shop.build(simple("four", "1.0"));
  for (const char* name : {".four.npk", "four.NPK", "four.npk.txt", "README"})
    e2e::download(root, four, name);
  e2e::download(root, "not a package", "junk.npk");
  // A directory where a package file should be cannot be read: broken, not
  // a crash.
  root.makeDir("/rw/pckg/.download/dir.npk");
  root.makeDir("/flash/var/pdb/three/image");
  e2e::download(root, four, "four.dpk", "/flash/rw/pckg/.hidden/");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("three 1.0\n", root.read("/flash/etc/three"));
  EXPECT_FALSE(root.exists("/flash/etc/four"));
  EXPECT_TRUE(contains(root.read("/flash/postlog"), "ERROR: broken package junk.npk\n"));
  EXPECT_TRUE(contains(root.read("/flash/postlog"), "ERROR: broken package dir.npk\n"));
}

TEST(UpgradeMode, SameVersionWithAndWithoutReinstall) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string bytes = shop.build(simple("alpha", "1.0"));
  e2e::installFromStdin(root, bytes);
  e2e::download(root, bytes, "alpha.npk");
  const auto before = e2e::snapshot(root, "/flash");

  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("WARNING: omitting package alpha-1.0: it is already installed",
            e2e::postLog(root).back());
  const ProgramResult result = runInstaller(root, {"--reinstall"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("\nResuming upgrade...\n", result.out.substr(0, 21));
  EXPECT_EQ("installed alpha-1.0", e2e::postLog(root).back());
  // Nothing to redo: not even the change marker.
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
}

TEST(UpgradeMode, SafeRunThenCommit) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(simple("base", "1.0")));
  e2e::installFromStdin(root, shop.build(simple("alpha", "1.0")));
  e2e::download(root, shop.build(simple("alpha", "2.0")), "alpha.npk");
  e2e::download(root, shop.build(simple("beta", "1.0")), "beta.npk");
  root.write("/ram/pdb/alpha/schedule", "disable");
  const auto before = e2e::snapshot(root, "/flash");

  ASSERT_EQ(0, runInstaller(root, {"--safe"}).status);
  EXPECT_TRUE(root.exists("/ram/MANIFEST"));
  // Nothing is in place yet but the staged files and the log.
  auto staged = e2e::snapshot(root, "/flash");
  for (const std::string& temporary : e2e::temporaryFiles(root, "/flash")) staged.erase(temporary);
  EXPECT_EQ(before, staged);
  // The package that the user disabled stays disabled in its new version.
  Lines log = e2e::postLog(root);
  ASSERT_EQ(5u, log.size());
  std::sort(log.begin() + 3, log.end());  // the two packages have no order of their own
  EXPECT_EQ((Lines{"installed base-1.0", "installed alpha-1.0", "disabled alpha-1.0",
                   "installed (disabled) alpha-2.0", "installed beta-1.0"}),
            log);

  const ProgramResult result = runInstallerInside(root, {"--commit"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ("alpha 2.0\n", root.read("/flash/x/alpha/etc/alpha"));
  EXPECT_FALSE(root.exists("/flash/etc/alpha"));
  EXPECT_EQ("beta 1.0\n", root.read("/flash/etc/beta"));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/alpha/disabled"));
  EXPECT_TRUE(root.exists("/flash/PCKGS_CHANGED"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/flash"));
  EXPECT_EQ(3u, e2e::shownNames(root).size());
}

TEST(UpgradeMode, SafeRunThenCancel) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(simple("alpha", "1.0")));
  e2e::download(root, shop.build(simple("alpha", "2.0")), "alpha.npk");
  Pkg big = simple("beta", "1.0");
  big.files["lib/beta.data"] = std::string(300000, 'b');
  e2e::download(root, shop.build(big), "beta.npk");
  const auto before = e2e::snapshot(root, "/flash");
  const auto ramBefore = e2e::snapshot(root, "/ram");

  ASSERT_EQ(0, runInstaller(root, {"--safe"}).status);
  ASSERT_TRUE(root.exists("/ram/MANIFEST"));
  EXPECT_NE(Lines{}, e2e::temporaryFiles(root, "/flash"));
  EXPECT_EQ(0, runInstallerInside(root, {"--cancel"}).status);
  EXPECT_FALSE(root.exists("/ram/MANIFEST"));
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
  auto ram = e2e::snapshot(root, "/ram");
  EXPECT_EQ(ramBefore, ram);
  EXPECT_TRUE(root.exists("/rw/pckg/.download/beta.npk"));
}

TEST(UpgradeMode, PackageInConflictIsInstalledDisabled) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(simple("alpha", "1.0", {"conflicts delta"})));
  e2e::download(root, shop.build(simple("delta", "1.0")), "delta.npk");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("delta 1.0\n", root.read("/flash/x/delta/etc/delta"));
  EXPECT_EQ("auto\n", root.read("/flash/var/pdb/delta/disabled"));
  EXPECT_EQ("installed (disabled) delta-1.0", e2e::postLog(root).back());
  EXPECT_EQ("alpha 1.0\n", root.read("/flash/etc/alpha"));
}

// A device left without any package is reported; a failed install ends the
// run before that.
TEST(UpgradeMode, NoPackageLeft) {
  PrivateRoot root;
  e2e::PackageShop shop;
  std::string broken = shop.build(simple("alpha", "1.0"));
  broken[broken.size() - 3] ^= 1;
  broken[broken.size() - 100] ^= 1;
  e2e::download(root, broken, "alpha.npk");
  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ(Lines{"ERROR: installation of alpha-1.0 failed: broken package"}, e2e::postLog(root));
  unlink(root.host("/rw/pckg/.download/alpha.npk").c_str());
  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ((Lines{"ERROR: installation of alpha-1.0 failed: broken package",
                   "ERROR: router installation failed!!!"}),
            e2e::postLog(root));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/flash"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/alpha"));
}

TEST(PostLog, KeptAcrossRuns) {
  PrivateRoot root;
  e2e::PackageShop shop;
  // A last line without its line feed is not a message.
  e2e::installFromStdin(root, shop.build(simple("base", "1.0")));
  root.write("/flash/postlog", "from an earlier boot\nsecond\ncut sh");
  e2e::download(root, shop.build(simple("alpha", "1.0")), "alpha.npk");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  unlink(root.host("/rw/pckg/.download/alpha.npk").c_str());
  e2e::download(root, shop.build(simple("beta", "1.0")), "beta.npk");
  root.write("/ram/pdb/alpha/schedule", "disable");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  const Lines expected = {"from an earlier boot", "second", "installed alpha-1.0",
                          "disabled alpha-1.0", "installed beta-1.0"};
  EXPECT_EQ(expected, e2e::postLog(root));
  EXPECT_EQ(std::string::npos, root.read("/flash/postlog").find('\0'));

  // A run that reads no package file appends; one that prints nothing
  // leaves the log alone; -q prints nothing.
  unlink(root.host("/ram/pdb/alpha/schedule").c_str());
  unlink(root.host("/rw/pckg/.download/beta.npk").c_str());
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ(expected, e2e::postLog(root));
  const ProgramResult quiet = runInstaller(root, {"-q", "-"}, shop.build(simple("gamma", "1.0")));
  EXPECT_EQ(0, quiet.status);
  EXPECT_EQ("", quiet.out);
  EXPECT_EQ("gamma 1.0\n", root.read("/flash/etc/gamma"));
  EXPECT_EQ(expected, e2e::postLog(root));
  e2e::download(root, shop.build(simple("delta", "1.0")), "delta.npk");
  const ProgramResult quietUpgrade = runInstaller(root, {"-q"});
  EXPECT_EQ("", quietUpgrade.out);
  EXPECT_EQ("delta 1.0\n", root.read("/flash/etc/delta"));
  EXPECT_EQ(expected, e2e::postLog(root));
  ASSERT_EQ(0, runInstaller(root, {"-"}, shop.build(simple("omega", "1.0"))).status);
  Lines appended = expected;
  appended.push_back("installed omega-1.0");
  EXPECT_EQ(appended, e2e::postLog(root));
}

}  // namespace
