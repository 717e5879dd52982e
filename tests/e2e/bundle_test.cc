// Bundles end to end: their members installed (those of the bundle list
// disabled), members that a newer bundle drops removed, the user's choices
// kept, and every kind of bad bundle refused with its status and nothing of
// it on disk.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/install_support.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using e2e::FilePart;
using e2e::Pkg;
using Lines = std::vector<std::string>;

const char kCopy[] = "/flash/var/pdb/image";

Pkg member(const std::string& name, const std::string& version) {
  return Pkg{name, version, {}, {{"etc/" + name, name + " " + version + "\n"}}};
}

// The suite: a bundle kept whole in the database, as bundles are.
std::string suite(const e2e::PackageShop& shop, const std::string& version,
                  const std::vector<std::string>& members, const Lines& disabled = {}) {
  std::vector<Pkg> pkgs;
  for (const std::string& name : members) pkgs.push_back(member(name, version));
  return shop.buildBundle("suite", version, pkgs, disabled, {"image"});
}

Lines sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

Lines databaseEntries(const PrivateRoot& root) {
  Lines names;
  if (DIR* dir = opendir(root.host("/flash/var/pdb").c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
  }
  return sorted(names);
}

void expectUnchanged(const PrivateRoot& root, const std::map<std::string, std::string>& before) {
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
  EXPECT_FALSE(root.exists(kCopy));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram"));
}

TEST(Bundle, MembersInstalledAndListedOnesDisabled) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string bytes = suite(shop, "1.0", {"core", "web", "extra"}, {"extra"});
  const ProgramResult result = runInstaller(root, {"-"}, bytes);
  ASSERT_EQ(0, result.status) << result.out;

  EXPECT_EQ("core 1.0\n", root.read("/flash/etc/core"));
  EXPECT_EQ("web 1.0\n", root.read("/flash/etc/web"));
  EXPECT_EQ("extra 1.0\n", root.read("/flash/x/extra/etc/extra"));
  EXPECT_FALSE(root.exists("/flash/etc/extra"));
  EXPECT_EQ("auto\n", root.read("/flash/var/pdb/extra/disabled"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/core/disabled"));
  EXPECT_EQ("suite\n", root.read("/flash/var/pdb/core/bundle"));
  // The bundle is kept whole, as the copy of what was read.
  EXPECT_TRUE(bytes == root.read("/flash/var/pdb/suite/image"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/suite/files"));
  EXPECT_FALSE(root.exists(kCopy));
  EXPECT_EQ((Lines{"core", "extra", "suite", "web"}), databaseEntries(root));
  EXPECT_EQ((Lines{"core", "extra", "suite", "web"}), sorted(e2e::shownNames(root)));
  EXPECT_EQ(Lines{"installed suite-1.0"}, e2e::postLog(root));
}

TEST(Bundle, NewerBundleDropsMembersItNoLongerHolds) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, suite(shop, "1.0", {"core", "web", "extra"}, {"extra"}));
  const std::string two = suite(shop, "2.0", {"core", "extra"}, {"extra"});
  const ProgramResult result = runInstaller(root, {"-"}, two);
  ASSERT_EQ(0, result.status) << result.out;

  EXPECT_EQ("core 2.0\n", root.read("/flash/etc/core"));
  EXPECT_EQ("extra 2.0\n", root.read("/flash/x/extra/etc/extra"));
  EXPECT_FALSE(root.exists("/flash/etc/web"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/web"));
  EXPECT_TRUE(two == root.read("/flash/var/pdb/suite/image"));
  EXPECT_EQ((Lines{"core", "extra", "suite"}), databaseEntries(root));
  EXPECT_EQ("installed suite-2.0", e2e::postLog(root).back());
}

// The bundle's own parts, its list and its members, as pkgtool lays them out.
struct Layout {
  std::vector<FilePart> head;  // bundle header up to the bundle list
  std::vector<std::vector<FilePart>> members;
};

Layout layout(const std::string& bytes) {
  const std::vector<FilePart> parts = e2e::splitParts(bytes);
  Layout result;
  size_t i = 0;
  while (i < parts.size() && parts[i].type != 1) result.head.push_back(parts[i++]);
  while (i < parts.size()) {
    result.members.push_back(e2e::packageParts(parts, i));
    i += result.members.back().size();
  }
  return result;
}

std::string assemble(const Layout& layout, const std::vector<FilePart>& tail = {}) {
  std::vector<FilePart> parts = layout.head;
  for (const auto& member : layout.members) parts.insert(parts.end(), member.begin(), member.end());
  parts.insert(parts.end(), tail.begin(), tail.end());
  return e2e::joinParts(parts);
}

TEST(Bundle, BadBundlesAreRefusedWithTheirStatus) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(Pkg{"alpha", "1.0", {}, {{"etc/alpha", "a"}}}));
  const std::string good = suite(shop, "1.0", {"core", "web"});
  const Layout parts = layout(good);
  ASSERT_EQ(2u, parts.members.size());
  ASSERT_EQ(18, parts.head.front().type);

  Layout withRelations = parts;
  withRelations.head.insert(withRelations.head.begin() + 1,
                            FilePart{3, testpkg::refListData({{"alpha", 0, 0, 0}})});
  Layout memberBroken = parts;
  for (FilePart& part : memberBroken.members[1])
    if (part.type == 4) part.data[part.data.size() / 2] ^= 0x20;
  Layout memberLikeBundle = parts;
  memberLikeBundle.members[1] = e2e::packageParts(
      e2e::splitParts(shop.build(Pkg{"suite", "1.0", {}, {{"etc/suite", "s"}}})), 0);
  Layout noMember = parts;
  noMember.members.clear();

  const struct {
    const char* what;
    std::string bytes;
    int status;
  } cases[] = {
      {"relations", assemble(withRelations), 1},
      {"a member fails", assemble(memberBroken), 2},
      {"a member named like the bundle", assemble(memberLikeBundle), 2},
      {"parts left over", assemble(parts, {{3, testpkg::refListData({})}}), 2},
      {"no member", assemble(noMember), 3},
  };
  const auto before = e2e::snapshot(root, "/flash");
  for (const auto& bad : cases) {
    EXPECT_EQ(bad.status, runInstaller(root, {"-"}, bad.bytes).status) << bad.what;
    expectUnchanged(root, before);
  }
  EXPECT_EQ(
      (Lines{"installed alpha-1.0", "ERROR: installation of suite-1.0 failed: broken package"}),
      e2e::postLog(root));

  // Cut the same way the good bundle installs; once installed, the same
  // bundle again is refused with 2.
  EXPECT_EQ(0, runInstaller(root, {"-"}, assemble(parts)).status);
  const auto installed = e2e::snapshot(root, "/flash");
  EXPECT_EQ("core 1.0\n", root.read("/flash/etc/core"));
  EXPECT_EQ(2, runInstaller(root, {"-"}, good).status);
  expectUnchanged(root, installed);
  EXPECT_EQ("WARNING: omitting package suite-1.0: it is already installed",
            e2e::postLog(root).back());
}

TEST(Bundle, UpgradeKeepsTheUsersChoicesAndDropsOldMembers) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::download(root, suite(shop, "1.0", {"core", "web", "extra", "old"}, {"extra"}),
                "suite-1.0.npk");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("extra 1.0\n", root.read("/flash/x/extra/etc/extra"));
  EXPECT_FALSE(root.exists("/rw/pckg/.download/suite-1.0.npk"));  // it became the image

  // The user enables the listed member and disables another.
  root.write("/ram/pdb/extra/schedule", "enable\n");
  root.write("/ram/pdb/web/schedule", "disable\n");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/extra/enabled"));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/web/disabled"));
  unlink(root.host("/ram/pdb/extra/schedule").c_str());
  unlink(root.host("/ram/pdb/web/schedule").c_str());

  // The new bundle lists extra as disabled, and web is not in its list.
  const std::string two = suite(shop, "2.0", {"core", "web", "extra"}, {"extra"});
  e2e::download(root, two, "suite-2.0.npk");
  root.write("/rw/pckg/.download/alpha.npk",
             shop.build(Pkg{"alpha", "1.0", {}, {{"etc/alpha", "a"}}}));
  const ProgramResult result = runInstaller(root, {});
  ASSERT_EQ(0, result.status);
  EXPECT_EQ("extra 2.0\n", root.read("/flash/etc/extra"));
  EXPECT_EQ("web 2.0\n", root.read("/flash/x/web/etc/web"));
  EXPECT_FALSE(root.exists("/flash/etc/web"));
  EXPECT_EQ("core 2.0\n", root.read("/flash/etc/core"));
  EXPECT_EQ("a", root.read("/flash/etc/alpha"));
  EXPECT_FALSE(root.exists("/flash/etc/old"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/old"));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/extra/enabled"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/extra/disabled"));
  EXPECT_EQ("user\n", root.read("/flash/var/pdb/web/disabled"));
  EXPECT_TRUE(two == root.read("/flash/var/pdb/suite/image"));
  // The records that made the listed members install disabled were never
  // saved: nothing but the packages' own directories in the database.
  EXPECT_EQ((Lines{"alpha", "core", "extra", "suite", "web"}), databaseEntries(root));
  EXPECT_EQ((Lines{"alpha", "core", "extra", "suite", "web"}), sorted(e2e::shownNames(root)));
}

}  // namespace
