// A flash too small for what is installed: the run stops before anything
// is applied, with status 28 when the space check or the copy of the input
// finds it out, and with "disk is too small" when a file cannot be written.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/install_support.h"
#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

using e2e::Pkg;
using Lines = std::vector<std::string>;

// Bytes that do not compress.
std::string noise(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245 + 12345;
    byte = static_cast<char>(state >> 16);
  }
  return bytes;
}

Pkg big(const std::string& data) { return Pkg{"big", "1.0", {}, {{"lib/big.data", data}}}; }

bool logHas(const PrivateRoot& root, const std::string& line) {
  const Lines log = e2e::postLog(root);
  return std::find(log.begin(), log.end(), line) != log.end();
}

// A private root whose /flash is a 128 KiB file system, with a small
// package installed on it.
class FullFlash : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TMPFS(flash);
    root.makeDir("/flash/var/pdb");
    root.makeDir("/flash/boot");
    e2e::installFromStdin(root, shop.build(Pkg{"alpha", "1.0", {}, {{"etc/alpha", "a"}}}));
    before = e2e::snapshot(root, "/flash");
  }

  void expectNothingApplied() {
    EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
    EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram"));
  }

  PrivateRoot root;
  ScopedTmpfs flash{root.host("/flash"), "size=128k"};
  e2e::PackageShop shop;
  std::map<std::string, std::string> before;
};

TEST_F(FullFlash, StreamCopyThatDoesNotFit) {
  const ProgramResult result = runInstaller(root, {"-"}, shop.build(big(noise(200000))));
  EXPECT_EQ(28, result.status);
  EXPECT_TRUE(logHas(root, "ERROR: not enough space for upgrade"));
  expectNothingApplied();
}

TEST_F(FullFlash, StreamFilesThatDoNotFit) {
  // A small package whose files do not fit: the space check finds it out.
  const ProgramResult result = runInstaller(root, {"-"}, shop.build(big(std::string(300000, 'z'))));
  EXPECT_EQ(28, result.status);
  EXPECT_TRUE(logHas(root, "ERROR: not enough space for upgrade"));
  expectNothingApplied();
}

// What fits, but leaves too little room, is refused unless the run resumes
// an upgrade.
TEST_F(FullFlash, SpaceCheckIsSkippedWhenResuming) {
  const std::string bytes = shop.build(big(std::string(60000, 'z')));
  EXPECT_EQ(28, runInstaller(root, {"-"}, bytes).status);
  expectNothingApplied();
  EXPECT_EQ(0, runInstaller(root, {"--reinstall", "-"}, bytes).status);
  EXPECT_EQ(std::string(60000, 'z'), root.read("/flash/lib/big.data"));
}

TEST_F(FullFlash, UpgradeThatDoesNotFit) {
  e2e::download(root, shop.build(big(std::string(300000, 'z'))), "big.npk");
  e2e::download(root, shop.build(Pkg{"alpha", "2.0", {}, {{"etc/alpha", "a2"}}}), "alpha.npk");
  const ProgramResult result = runInstaller(root, {});
  EXPECT_EQ(28, result.status);
  EXPECT_EQ("ERROR: not enough space for upgrade", e2e::postLog(root).back());
  expectNothingApplied();
  EXPECT_FALSE(root.exists("/flash/PCKGS_CHANGED"));
  EXPECT_TRUE(root.exists("/rw/pckg/.download/big.npk"));
}

TEST_F(FullFlash, FilesThatCannotBeWritten) {
  // With the memory full too, the file cannot be staged anywhere.
  ScopedTmpfs ram(root.host("/ram"), "size=64k");
  REQUIRE_TMPFS(ram);
  const std::string bytes = shop.build(big(std::string(300000, 'z')));
  ProgramResult result = runInstaller(root, {"-"}, bytes);
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("ERROR: installation of big-1.0 failed: disk is too small", e2e::postLog(root).back());
  expectNothingApplied();

  e2e::download(root, bytes, "big.npk");
  result = runInstaller(root, {});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("ERROR: installation of big-1.0 failed: disk is too small", e2e::postLog(root).back());
  expectNothingApplied();
  EXPECT_FALSE(root.exists("/flash/PCKGS_CHANGED"));
}

}  // namespace

namespace {

TEST_F(FullFlash, NothingToDoNeedsNoRoom) {
  root.write("/flash/filler", std::string(100 * 1024, 'f'));
  const ProgramResult result = runInstaller(root, {});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.out);
}

}  // namespace
