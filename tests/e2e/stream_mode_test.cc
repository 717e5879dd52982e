// Stream mode end to end: one package file on standard input, made by
// pkgtool and installed into a private root; the statuses, what lands on
// disk and what the post-install log says.
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/install_support.h"
#include "platform/processor.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using e2e::Pkg;
using Lines = std::vector<std::string>;

const char kCopy[] = "/flash/var/pdb/image";  // where the copy of standard input is written

Pkg alpha(const std::string& version, const Lines& lines = {}) {
  return Pkg{"alpha", version, lines,
             {{"etc/alpha.conf", "alpha " + version + "\n"}, {"bin/alpha*", "#!/bin/sh\n"}}};
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Nothing of a failed install is left: the flash as it was, apart from the
// log, no copy of the input and no temporary file.
void expectUnchanged(const PrivateRoot& root, const std::map<std::string, std::string>& before) {
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
  EXPECT_FALSE(root.exists(kCopy));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram"));
}

TEST(StreamMode, InstallsASinglePackage) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string bytes = shop.build(alpha("1.0", {"note the first letter"}));
  const ProgramResult result = runInstaller(root, {"-"}, bytes);
  ASSERT_EQ(0, result.status) << result.out << result.err;
  EXPECT_EQ("", result.err);
  EXPECT_TRUE(contains(result.out, "installed alpha-1.0\n"));

  EXPECT_EQ("alpha 1.0\n", root.read("/flash/etc/alpha.conf"));
  EXPECT_EQ(0755, e2e::permissions(root, "/flash/bin/alpha"));
  EXPECT_EQ(0644, e2e::permissions(root, "/flash/etc/alpha.conf"));
  EXPECT_EQ(std::to_string(e2e::packed(1, 0)) + " 1700000000\n",
            root.read("/flash/var/pdb/alpha/version"));
  EXPECT_EQ("bin/alpha\netc/alpha.conf\n", root.read("/flash/var/pdb/alpha/files"));
  EXPECT_EQ("", root.read("/flash/var/pdb/alpha/deps"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/alpha/disabled"));
  // A package that is not kept whole leaves no copy; only the default mode
  // marks the flash as changed.
  EXPECT_FALSE(root.exists(kCopy));
  EXPECT_FALSE(root.exists("/flash/PCKGS_CHANGED"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/flash"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram"));
  EXPECT_EQ(Lines{"installed alpha-1.0"}, e2e::postLog(root));
  EXPECT_EQ(Lines{"alpha"}, e2e::shownNames(root));
}

TEST(StreamMode, SameVersionIsNotInstalledAgain) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string bytes = shop.build(alpha("1.0"));
  e2e::installFromStdin(root, bytes);
  root.write("/flash/etc/alpha.conf", "edited by the user\n");
  const auto before = e2e::snapshot(root, "/flash");

  ProgramResult result = runInstaller(root, {"-"}, bytes);
  EXPECT_EQ(0, result.status);
  result = runInstaller(root, {"--reinstall", "-"}, bytes);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("\nResuming upgrade...\n", result.out.substr(0, 21));

  expectUnchanged(root, before);
  EXPECT_EQ(
      (Lines{"installed alpha-1.0", "WARNING: omitting package alpha-1.0: it is already installed",
             "installed alpha-1.0"}),
      e2e::postLog(root));
}

TEST(StreamMode, UpgradeReplacesTheFilesAndDowngradeNeedsTheFlag) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string one = shop.build(alpha("1.0"));
  Pkg two = alpha("2.0");
  two.files.erase("bin/alpha*");
  two.files["etc/alpha.d/extra"] = "more\n";
  e2e::installFromStdin(root, one);
  e2e::installFromStdin(root, shop.build(two));

  EXPECT_EQ("alpha 2.0\n", root.read("/flash/etc/alpha.conf"));
  EXPECT_EQ("more\n", root.read("/flash/etc/alpha.d/extra"));
  EXPECT_FALSE(root.exists("/flash/bin/alpha"));
  EXPECT_EQ("etc/alpha.conf\netc/alpha.d/extra\n", root.read("/flash/var/pdb/alpha/files"));

  const auto before = e2e::snapshot(root, "/flash");
  ProgramResult result = runInstaller(root, {"-"}, one);
  EXPECT_EQ(1, result.status);
  expectUnchanged(root, before);
  EXPECT_EQ("WARNING: omitting package alpha-1.0: newer package alpha-2.0 is already installed",
            e2e::postLog(root).back());

  result = runInstaller(root, {"-down", "-"}, one);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("alpha 1.0\n", root.read("/flash/etc/alpha.conf"));
  EXPECT_TRUE(root.exists("/flash/bin/alpha"));
  EXPECT_FALSE(root.exists("/flash/etc/alpha.d/extra"));
  EXPECT_EQ(std::to_string(e2e::packed(1, 0)) + " 1700000000\n",
            root.read("/flash/var/pdb/alpha/version"));
}

TEST(StreamMode, RefusedPackagesLeaveNothing) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string needsAlpha =
      shop.build(Pkg{"beta", "1.0", {"depends alpha >= 1.0"}, {{"etc/beta", "b"}}});
  const std::string forPowerpc =
      shop.build(Pkg{"gamma", "1.0", {"arch powerpc"}, {{"etc/gamma", "g"}}});
  const auto before = e2e::snapshot(root, "/flash");

  EXPECT_EQ(1, runInstaller(root, {"-"}, needsAlpha).status);
  expectUnchanged(root, before);
  EXPECT_EQ(1, runInstaller(root, {"-"}, forPowerpc).status);
  expectUnchanged(root, before);
  EXPECT_EQ((Lines{"ERROR: can not install beta-1.0: alpha-1.0 is not installed, but is required",
                   "ERROR: can not install gamma-1.0: it is not made for i386, but for powerpc"}),
            e2e::postLog(root));

  // The architecture comes from the environment.
  e2e::ScopedEnv arch("arch", "powerpc");
  EXPECT_EQ(0, runInstaller(root, {"-"}, forPowerpc).status);
  EXPECT_EQ("g", root.read("/flash/etc/gamma"));
}

TEST(StreamMode, ImageCopyThatCannotBeOpened) {
  PrivateRoot root;
  e2e::PackageShop shop;
  // A directory where the copy goes (loaded as a broken database entry).
  root.makeDir("/flash/var/pdb/image");
  const ProgramResult result = runInstaller(root, {"-"}, shop.build(alpha("1.0")));
  EXPECT_EQ(255, result.status);
  const std::string error = "ERROR: could not open image\n";
  ASSERT_LE(error.size(), result.out.size());
  EXPECT_EQ(error, result.out.substr(result.out.size() - error.size()));
  EXPECT_FALSE(root.exists("/flash/etc/alpha.conf"));
  EXPECT_FALSE(root.exists("/flash/postlog"));

  // What the scheduled requests staged before the failure is dropped with
  // its temporary files.
  rmdir(root.host("/flash/var/pdb/image").c_str());
  e2e::installFromStdin(root, shop.build(Pkg{"beta", "1.0", {}, {{"etc/beta", "b"}}}));
  e2e::installFromStdin(root, shop.build(Pkg{"gamma", "1.0", {}, {{"etc/gamma", "g"}}}));
  unlink(root.host("/flash/postlog").c_str());
  root.makeDir("/flash/var/pdb/image");
  root.write("/ram/pdb/beta/schedule", "disable");
  const auto before = e2e::snapshot(root, "/flash");
  EXPECT_EQ(255, runInstaller(root, {"-"}, shop.build(alpha("1.0"))).status);
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/flash"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram"));
}

TEST(StreamMode, PackageInConflictIsInstalledDisabled) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(alpha("1.0", {"conflicts delta"})));
  const ProgramResult result =
      runInstaller(root, {"-"}, shop.build(Pkg{"delta", "1.0", {}, {{"etc/delta.conf", "d"}}}));
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("d", root.read("/flash/x/delta/etc/delta.conf"));
  EXPECT_FALSE(root.exists("/flash/etc/delta.conf"));
  EXPECT_EQ("x/delta/etc/delta.conf\n", root.read("/flash/var/pdb/delta/files"));
  EXPECT_EQ("auto\n", root.read("/flash/var/pdb/delta/disabled"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/alpha/disabled"));
  EXPECT_EQ("installed (disabled) delta-1.0", e2e::postLog(root).back());
  EXPECT_FALSE(contains(result.out, "conflicts"));
}

// Directories and links of the package's tree are not unpacked, nor files
// meant for other hardware.
TEST(StreamMode, OnlyRegularFilesForThisHardware) {
  PrivateRoot root;
  e2e::PackageShop shop;
  Pkg pkg{"hw", "1.0", {}, {{"etc/all", "every machine"}}};
  for (const char* kind : {"1", "2", "3", "4"}) {
    pkg.files[std::string("etc/kind") + kind] = kind;
    pkg.lines.push_back(std::string("hw ") + kind + " etc/kind" + kind);
  }
  const std::string description = shop.describe(pkg);
  ASSERT_EQ(0, symlink("all", shop.path("hw-1.0-tree/etc/link").c_str()));
  shop.write("hw-1.0-tree/var/empty/.keep", "");
  unlink(shop.path("hw-1.0-tree/var/empty/.keep").c_str());
  const std::string bytes = shop.buildDescription(description);

  e2e::installFromStdin(root, bytes);
  EXPECT_EQ("every machine", root.read("/flash/etc/all"));
  EXPECT_FALSE(root.exists("/flash/etc/link"));
  EXPECT_FALSE(root.exists("/flash/var/empty"));
  const int here = flashKind();
  std::string listed = "etc/all\n";
  for (int kind = 1; kind <= 4; ++kind) {
    const std::string path = "/flash/etc/kind" + std::to_string(kind);
    EXPECT_EQ(kind == here, root.exists(path)) << path;
    if (kind == here) listed += path.substr(7) + "\n";
  }
  EXPECT_EQ(listed, root.read("/flash/var/pdb/hw/files"));
}

// An untracked package leaves its files and nothing else.
TEST(StreamMode, UntrackedPackageHasNoDatabaseEntry) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(Pkg{"loose", "1.0", {"untracked"}, {{"etc/loose", "l"}}}));
  EXPECT_EQ("l", root.read("/flash/etc/loose"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/loose"));
  EXPECT_FALSE(root.exists(kCopy));
  EXPECT_EQ(Lines{"installed loose-1.0"}, e2e::postLog(root));
}

// After its signature a package on its own may have only an architecture
// part and an empty dependency list.
TEST(StreamMode, PartsAfterTheSignature) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::vector<e2e::FilePart> parts = e2e::splitParts(shop.build(alpha("1.0")));
  std::vector<e2e::FilePart> files = parts;
  files.push_back({4, testpkg::compress(testpkg::fileEntry(0100644, "etc/more", "m"))});
  std::vector<e2e::FilePart> deps = parts;
  deps.push_back({3, testpkg::refListData({{"beta", 0, 0, 0}})});
  const auto before = e2e::snapshot(root, "/flash");
  EXPECT_EQ(1, runInstaller(root, {"-"}, e2e::joinParts(files)).status);
  expectUnchanged(root, before);
  EXPECT_EQ(1, runInstaller(root, {"-"}, e2e::joinParts(deps)).status);
  expectUnchanged(root, before);
  EXPECT_EQ(Lines(2, "ERROR: installation of alpha-1.0 failed: broken package"),
            e2e::postLog(root));

  std::vector<e2e::FilePart> trailer = parts;
  trailer.push_back({16, "i386"});
  trailer.push_back({3, ""});
  e2e::installFromStdin(root, e2e::joinParts(trailer));
  EXPECT_EQ("alpha 1.0\n", root.read("/flash/etc/alpha.conf"));
}

// Entry names that would leave /flash refuse the whole package.
TEST(StreamMode, EntriesOutsideTheFlashRefuseThePackage) {
  PrivateRoot root;
  auto crafted = [](const std::string& name, const std::string& packageName = "evil") {
    const std::string payload = testpkg::fileEntry(0100644, "etc/good", "good") +
                                testpkg::fileEntry(0100644, name, "bad");
    return e2e::joinParts(e2e::signParts(
        {{1, testpkg::headerData(packageName, e2e::packed(1, 0), 1700000000, 0)},
         {4, testpkg::compress(payload)}}));
  };
  const auto before = e2e::snapshot(root, "/flash");
  for (const std::string name :
       {"../escape", "etc/../../escape", "/../escape", "..", "etc/..", ""}) {
    const ProgramResult result = runInstaller(root, {"-"}, crafted(name));
    EXPECT_EQ(1, result.status) << name;
    EXPECT_EQ("ERROR: installation of evil-1.0 failed: broken package", e2e::postLog(root).back())
        << name;
    expectUnchanged(root, before);
    EXPECT_FALSE(root.exists("/escape"));
  }
  // Nor may the package's name lead elsewhere (it names directories).
  for (const std::string packageName : {"..", "../../escape", "."}) {
    EXPECT_EQ(1, runInstaller(root, {"-"}, crafted("etc/x", packageName)).status) << packageName;
    expectUnchanged(root, before);
  }
  // Entries that are passed over write nothing, whatever their names.
  const std::string skipped = testpkg::fileEntry(040755, "", "") +
                              testpkg::fileEntry(040755, "..", "") +
                              testpkg::fileEntry(0120777, "../link", "etc/good") +
                              testpkg::fileEntry(0100644, "etc/kept", "kept");
  EXPECT_EQ(0, runInstaller(root, {"-"},
                            e2e::joinParts(e2e::signParts(
                                {{1, testpkg::headerData("dirs", e2e::packed(1, 0), 1700000000, 0)},
                                 {4, testpkg::compress(skipped)}})))
                   .status);
  EXPECT_EQ("kept", root.read("/flash/etc/kept"));
  EXPECT_EQ("etc/kept\n", root.read("/flash/var/pdb/dirs/files"));
  // The same package with names that stay inside is installed.
  EXPECT_EQ(0, runInstaller(root, {"-"}, crafted("/etc/..bad../x")).status);
  EXPECT_EQ("good", root.read("/flash/etc/good"));
  EXPECT_EQ("bad", root.read("/flash/etc/..bad../x"));
}

}  // namespace
