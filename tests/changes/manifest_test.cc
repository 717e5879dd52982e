#include "changes/manifest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

// Stages an empty file for target and returns the directory of the temporary file.
std::string stagedIn(Manifest& manifest, const std::string& target, uint32_t hint, uint32_t mode = 0) {
  createStagedFile(manifest, target, hint, mode).close();
  return parentDir(manifest.entries.at(target).source);
}

// In the nearest existing directory above the target whose file system
// keeps a tenth more than the hint free, measured in 64 bits (5 GiB free
// reads as 1 GiB in 32, and a hint whose tenth added passes 4 GiB must not
// wrap round); else, and without a hint, in RAM; RAM also when the directory
// is too long for the temporary path buffer. The mode is set.
TEST(StagedFile, IsMadeInTheNearestDirectoryWithRoomElseInRam) {
  PrivateRoot root;
  ScopedTmpfs flash(root.host("/flash"), "size=5g");
  REQUIRE_TMPFS(flash);
  const std::string deep = "/flash/" + std::string(60, 'd') + "/" + std::string(60, 'e');
  root.makeDir(deep);
  root.makeDir("/flash/var/pdb");
  root.makeDir("/flash/boot");
  ScopedTmpfs boot(root.host("/flash/boot"), "size=64k");  // 16 blocks of 4096 bytes
  REQUIRE_TMPFS(boot);
  EXPECT_TRUE(runInRoot(root, [&] {
    Manifest manifest;
    EXPECT_EQ("/flash/var/pdb", stagedIn(manifest, "/flash/var/pdb/p/deps", 100, 0100755));
    struct stat st;
    ASSERT_EQ(stat(manifest.entries.at("/flash/var/pdb/p/deps").source.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ("/ram", stagedIn(manifest, "/flash/var/pdb/p/version", 0));
    EXPECT_EQ("/ram", stagedIn(manifest, deep + "/x", 1));
    EXPECT_EQ("/flash", stagedIn(manifest, "/flash/big", 1500000000));
    EXPECT_EQ("/flash/boot", stagedIn(manifest, "/flash/boot/fits", 59000));
    EXPECT_EQ("/ram", stagedIn(manifest, "/flash/boot/too-big", 60000));
    EXPECT_EQ("/ram", stagedIn(manifest, "/flash/boot/wraps", 3904520000u));
  }));
}

// A file bearing the template's own name, then no inode left: nothing is
// staged, no other file is touched, errno tells why.
TEST(StagedFile, FailureToCreateStagesNothingAndTouchesNoOtherFile) {
  PrivateRoot root;
  ScopedTmpfs ram(root.host("/ram"), "nr_inodes=3");
  REQUIRE_TMPFS(ram);
  EXPECT_TRUE(runInRoot(root, [] {
    std::ofstream("/ram/tmpXXXXXX") << "keep";
    for (int i = 0; std::ofstream("/ram/fill" + std::to_string(i)); ++i) {}
    Manifest manifest;
    errno = 0;
    StagedFile stream = createStagedFile(manifest, "/flash/x", 0, 0);
    EXPECT_EQ(errno, ENOSPC);
    stream << "data";
    EXPECT_TRUE(stream.fail());
    EXPECT_TRUE(manifest.empty());
    std::ifstream kept("/ram/tmpXXXXXX");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  }));
}

// The data goes through the descriptor that made the staged file: a link
// swapped in for it by name meanwhile receives nothing.
TEST(StagedFile, IsWrittenThroughTheDescriptorThatMadeIt) {
  PrivateRoot root;
  root.write("/etc/passwd", "root\n");
  EXPECT_TRUE(runInRoot(root, [] {
    Manifest manifest;
    StagedFile stream = createStagedFile(manifest, "/flash/x", 5, 0644);
    const std::string staged = manifest.entries.at("/flash/x").source;
    ASSERT_EQ(0, unlink(staged.c_str()));
    ASSERT_EQ(0, symlink("/etc/passwd", staged.c_str()));
    stream << "pwned";
    EXPECT_TRUE(stream.close());
  }));
  EXPECT_EQ("root\n", root.read("/etc/passwd"));
}

}  // namespace
