#include "changes/commit.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/private_root.h"

// Removals and links come before moves whatever the order of the paths:
// "/flash//a/b/c" sorts before "/flash/a/b", yet names a file in it. A
// removed directory loses only its plain entries, and stays when anything
// is left in it; missing directories are made, however deep. Failed links
// and renames are reported and passed over.
// (Moves across file systems: the --commit scenario.)
TEST(Commit, RemovalsAndLinksComeBeforeMoves) {
  PrivateRoot root;
  for (const char* file : {"/flash/a/b/c", "/flash/a/b/d", "/flash/var/pdb/sys/image", "/flash/var/pdb/gone/version",
                           "/flash/var/pdb/kept/version", "/flash/var/pdb/kept/.keep", "/flash/file"})
    root.write(file, "old");
  root.makeDir("/flash/var/pdb/nested/sub");
  EXPECT_TRUE(runInRoot(root, [] {
    Manifest manifest;
    createStagedFile(manifest, "/flash//a/b/c", 0, 0) << "new";
    stageChange(manifest, "/flash/a/b", CHANGE_REMOVE, "");
    stageSymlink(manifest, "/flash/bootimage", "/flash/var/pdb/sys/image");
    stageSymlink(manifest, "/flash/bootimage", "/flash/var/pdb/new/deep//er/image");
    for (const char* dir : {"/flash/var/pdb/gone/", "/flash/var/pdb/kept/", "/flash/var/pdb/nested/"})
      stageChange(manifest, dir, CHANGE_REMOVE, "");
    stageSymlink(manifest, "/x", "/flash/file/link");
    stageMove(manifest, "/ram/missing", "/flash/a/m");
    testing::internal::CaptureStderr();
    commitChanges(manifest, false);
    EXPECT_EQ("symlink: Not a directory\nrename: No such file or directory\n", testing::internal::GetCapturedStderr());
  }));
  EXPECT_EQ(root.read("/flash/a/b/c"), "new");
  EXPECT_FALSE(root.exists("/flash/a/b/d"));
  for (const char* link : {"/flash/var/pdb/sys/image", "/flash/var/pdb/new/deep/er/image"})
    EXPECT_EQ(std::filesystem::read_symlink(root.host(link)), "/flash/bootimage");
  EXPECT_FALSE(root.exists("/flash/var/pdb/gone"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/kept/version"));
  EXPECT_TRUE(root.exists("/flash/var/pdb/kept/.keep"));
  EXPECT_TRUE(root.exists("/flash/var/pdb/nested/sub"));
}
