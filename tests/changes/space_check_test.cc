#include "changes/space_check.h"

#include <gtest/gtest.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <fstream>

#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

int64_t freeBlocks(const char* path) {
  struct statfs fs;
  return statfs(path, &fs) == 0 ? int64_t(fs.f_bfree) : -1;
}

// A file of the given number of 4096-byte blocks that takes no room where it lies.
void makeSparse(const std::string& path, int64_t blocks) {
  std::ofstream(path).close();
  ASSERT_EQ(truncate(path.c_str(), blocks * 4096), 0);
}

}  // namespace

// More than 16 blocks must stay free on /flash and on /flash/boot. Files in
// RAM moved onto the boot file system count for it and for /flash;
// /flash/bootimage lies beside /flash/boot, not on it. A file replaced by
// one from the same file system changes nothing; removing a link frees the
// link's own block, not the file it leads to. A file system that cannot be
// queried counts as full.
TEST(CheckSpace, KeepsMoreThan16FreeBlocksOnBothFileSystems) {
  PrivateRoot root;
  ScopedTmpfs flash(root.host("/flash"), "size=1m");  // 256 blocks
  REQUIRE_TMPFS(flash);
  root.makeDir("/flash/boot");
  ScopedTmpfs boot(root.host("/flash/boot"), "size=256k");  // 64 blocks
  REQUIRE_TMPFS(boot);
  root.write("/flash/boot/old", std::string(3 * 4096, 'o'));
  root.write("/flash/big", std::string(8 * 4096, 'b'));
  root.write("/flash/small", "s");
  root.write("/flash/other", std::string(2 * 4096, 'o'));
  EXPECT_TRUE(runInRoot(root, [] {
    ASSERT_EQ(symlink("/ram/bootimage", "/flash/link"), 0);
    const int64_t bootFree = freeBlocks("/flash/boot"), flashFree = freeBlocks("/flash");
    makeSparse("/ram/kernel", bootFree - 17);
    makeSparse("/ram/one-more", 1);
    makeSparse("/ram/bootimage", bootFree + 10);
    makeSparse("/ram/filler", flashFree - 15);
    Manifest manifest;
    stageMove(manifest, "/ram/kernel", "/flash/boot/kernel");
    EXPECT_TRUE(checkSpace(manifest));
    stageMove(manifest, "/ram/one-more", "/flash/boot/one-more");
    EXPECT_FALSE(checkSpace(manifest));
    stageChange(manifest, "/flash/boot/old", CHANGE_REMOVE, "");
    EXPECT_TRUE(checkSpace(manifest));
    stageMove(manifest, "/ram/bootimage", "/flash/bootimage");
    EXPECT_TRUE(checkSpace(manifest));
    Manifest onFlash;  // 15 blocks left on /flash
    stageMove(onFlash, "/ram/filler", "/flash/filler");
    stageMove(onFlash, "/flash/small", "/flash/big");
    stageChange(onFlash, "/flash/link", CHANGE_REMOVE, "");
    EXPECT_FALSE(checkSpace(onFlash));
    stageChange(onFlash, "/flash/other", CHANGE_REMOVE, "");
    EXPECT_TRUE(checkSpace(onFlash));
  }));
  PrivateRoot plain;
  EXPECT_TRUE(runInRoot(plain, [] {
    EXPECT_TRUE(checkSpace(Manifest()));
    ASSERT_EQ(rmdir("/flash/boot"), 0);
    EXPECT_FALSE(checkSpace(Manifest()));
  }));
}
