#include "changes/manifest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Stages an empty file for target and returns the temporary path.
std::string stageFile(Manifest& manifest, const std::string& target, uint32_t hint,
                      uint32_t mode = 0) {
  createStagedFile(manifest, target, hint, mode).close();
  return manifest.entries.at(target).source;
}

}  // namespace

TEST(ParentDir, GivesTheDirectoryPartLikeDirname) {
  EXPECT_EQ(parentDir("/a/b/"), "/a");
  EXPECT_EQ(parentDir("/flash//bin/x"), "/flash//bin");
  EXPECT_EQ(parentDir("/a"), "/");
  EXPECT_EQ(parentDir("a"), ".");
  EXPECT_EQ(parentDir("//"), "/");
}

TEST(StagedFile, ReplacedOrDroppedTemporaryFilesAreDeleted) {
  PrivateRoot root;
  root.write("/flash/old", "installed");
  EXPECT_TRUE(runInRoot(root, [] {
    Manifest manifest;
    const std::string first = stageFile(manifest, "/flash/new", 0);
    const std::string second = stageFile(manifest, "/flash/new", 0);
    EXPECT_FALSE(exists(first));
    EXPECT_TRUE(exists(second));

    // Nothing at /flash/new: the staged creation is forgotten with its file.
    // Something at /flash/old, even a link that leads nowhere: the creation
    // becomes a removal.
    stageRemove(manifest, "/flash/new");
    EXPECT_FALSE(exists(second));
    const std::string third = stageFile(manifest, "/flash/old", 0);
    stageRemove(manifest, "/flash/old");
    EXPECT_FALSE(exists(third));
    ASSERT_EQ(symlink("/flash/gone", "/flash/dangling"), 0);
    stageRemove(manifest, "/flash/dangling");
    ASSERT_EQ(manifest.size(), 2u);
    EXPECT_EQ(manifest.entries.at("/flash/old").kind, CHANGE_REMOVE);
    EXPECT_EQ(manifest.entries.at("/flash/dangling").kind, CHANGE_REMOVE);
  }));
}

TEST(StagedFile, IsMadeInTheNearestDirectoryWithRoomElseInRam) {
  PrivateRoot root;
  const std::string deep = "/flash/" + std::string(60, 'd') + "/" + std::string(60, 'e');
  root.makeDir(deep);
  EXPECT_TRUE(runInRoot(root, [&] {
    Manifest manifest;
    EXPECT_EQ(parentDir(stageFile(manifest, "/flash/var/pdb/p/deps", 100, 0100755)),
              "/flash/var/pdb");
    EXPECT_EQ(parentDir(stageFile(manifest, "/flash/var/pdb/p/version", 0)), "/ram");
    struct stat st;
    ASSERT_EQ(stat(manifest.entries.at("/flash/var/pdb/p/deps").source.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    // A directory too long for the temporary path buffer is not used.
    EXPECT_EQ(parentDir(stageFile(manifest, deep + "/x", 1)), "/ram");
  }));
}

TEST(StagedFile, RoomIsMeasuredOnTheTargetsFileSystemIn64Bits) {
  PrivateRoot root;
  // 5 GiB free, which reads as 1 GiB when counted in 32 bits.
  ScopedTmpfs flash(root.host("/flash"), "size=5g");
  REQUIRE_TMPFS(flash);
  root.makeDir("/flash/boot");
  ScopedTmpfs boot(root.host("/flash/boot"), "size=64k");  // 16 blocks of 4096 bytes
  REQUIRE_TMPFS(boot);
  EXPECT_TRUE(runInRoot(root, [] {
    Manifest manifest;
    EXPECT_EQ(parentDir(stageFile(manifest, "/flash/big", 1500000000)), "/flash");
    EXPECT_EQ(parentDir(stageFile(manifest, "/flash/boot/fits", 59000)), "/flash/boot");
    EXPECT_EQ(parentDir(stageFile(manifest, "/flash/boot/too-big", 60000)), "/ram");
    // A hint whose tenth added passes 4 GiB must not wrap round to a few bytes.
    EXPECT_EQ(parentDir(stageFile(manifest, "/flash/boot/wraps", 3904520000u)), "/ram");
  }));
}

TEST(StagedFile, FailureToCreateStagesNothingAndTouchesNoOtherFile) {
  PrivateRoot root;
  ScopedTmpfs ram(root.host("/ram"), "nr_inodes=3");
  REQUIRE_TMPFS(ram);
  EXPECT_TRUE(runInRoot(root, [] {
    // A file bearing the template's own name, then no inode left.
    std::ofstream("/ram/tmpXXXXXX") << "keep";
    for (int i = 0; std::ofstream("/ram/fill" + std::to_string(i)); ++i) {}
    Manifest manifest;
    errno = 0;
    std::ofstream stream = createStagedFile(manifest, "/flash/x", 0, 0);
    EXPECT_EQ(errno, ENOSPC);
    stream << "data";
    EXPECT_TRUE(stream.fail());
    EXPECT_TRUE(manifest.empty());
    std::ifstream kept("/ram/tmpXXXXXX");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  }));
}
