#include "changes/space_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <fstream>

#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

constexpr off_t kBlock = 4096;

int64_t freeBlocks(const char* path) {
  struct statfs fs;
  return statfs(path, &fs) == 0 ? int64_t(fs.f_bfree) : -1;
}

// A file of the given number of blocks that takes no room where it lies.
void makeSparse(const std::string& path, int64_t blocks) {
  std::ofstream(path).close();
  ASSERT_EQ(truncate(path.c_str(), blocks * kBlock), 0);
}

}  // namespace

TEST(CheckSpace, KeepsMoreThan16FreeBlocksOnBothFileSystems) {
  PrivateRoot root;
  ScopedTmpfs flash(root.host("/flash"), "size=1m");  // 256 blocks
  REQUIRE_TMPFS(flash);
  root.makeDir("/flash/boot");
  ScopedTmpfs boot(root.host("/flash/boot"), "size=256k");  // 64 blocks
  REQUIRE_TMPFS(boot);
  root.write("/flash/boot/old", std::string(3 * kBlock, 'o'));
  root.write("/flash/big", std::string(8 * kBlock, 'b'));
  root.write("/flash/small", "s");
  root.write("/flash/other", std::string(2 * kBlock, 'o'));
  EXPECT_TRUE(runInRoot(root, [] {
    ASSERT_EQ(symlink("/ram/bootimage", "/flash/link"), 0);
    const int64_t bootFree = freeBlocks("/flash/boot");
    const int64_t flashFree = freeBlocks("/flash");
    makeSparse("/ram/kernel", bootFree - 17);
    makeSparse("/ram/one-more", 1);
    makeSparse("/ram/bootimage", bootFree + 10);
    makeSparse("/ram/filler", flashFree - 15);

    // Files in RAM moved onto the boot file system count for it and for
    // /flash.
    Manifest manifest;
    stageMove(manifest, "/ram/kernel", "/flash/boot/kernel");
    EXPECT_TRUE(checkSpace(manifest));
    stageMove(manifest, "/ram/one-more", "/flash/boot/one-more");
    EXPECT_FALSE(checkSpace(manifest));
    stageChange(manifest, "/flash/boot/old", CHANGE_REMOVE, "");
    EXPECT_TRUE(checkSpace(manifest));
    // /flash/bootimage lies beside /flash/boot, not on it.
    stageMove(manifest, "/ram/bootimage", "/flash/bootimage");
    EXPECT_TRUE(checkSpace(manifest));

    // 15 blocks left on /flash. A file replaced by one from the same file
    // system changes nothing; removing a link frees the link's own block,
    // not the file it leads to.
    Manifest onFlash;
    stageMove(onFlash, "/ram/filler", "/flash/filler");
    stageMove(onFlash, "/flash/small", "/flash/big");
    stageChange(onFlash, "/flash/link", CHANGE_REMOVE, "");
    EXPECT_FALSE(checkSpace(onFlash));
    stageChange(onFlash, "/flash/other", CHANGE_REMOVE, "");
    EXPECT_TRUE(checkSpace(onFlash));
  }));
}

TEST(CheckSpace, FileSystemThatCannotBeQueriedCountsAsFull) {
  PrivateRoot root;
  EXPECT_TRUE(runInRoot(root, [] {
    EXPECT_TRUE(checkSpace(Manifest()));
    ASSERT_EQ(rmdir("/flash/boot"), 0);
    EXPECT_FALSE(checkSpace(Manifest()));
  }));
}
