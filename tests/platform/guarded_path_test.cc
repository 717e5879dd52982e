#include "platform/guarded_path.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file_ops.h"
#include "support/private_root.h"

// What the link guard remembers of directories (opened, or found missing)
// follows the changes the installer makes: a directory made, renamed or
// replaced by a link is seen as it is now.
TEST(GuardedPath, WhatItRemembersFollowsTheChangesMade) {
  PrivateRoot root;
  root.makeDir("/flash/old/sub");
  EXPECT_TRUE(runInRoot(root, [] {
    PathAt at;
    std::string nearest;
    struct stat st;
    // Missing: asked twice, the second time from what was remembered.
    for (int twice = 0; twice < 2; ++twice) {
      EXPECT_FALSE(resolveBelowPlace("/flash/new/deep/file", at));
      EXPECT_EQ(ENOENT, errno);
      EXPECT_FALSE(leadsThroughLink("/flash/new/deep/file"));
      nearest.clear();
      EXPECT_GE(nearestDirectoryBelowPlace("/flash/new/deep", nearest), 0);
      EXPECT_EQ("/flash", nearest);
    }
    // Made: found where it is now.
    EXPECT_EQ(0, fileops::mkdir("/flash/new", 0755));
    EXPECT_EQ(0, fileops::mkdir("/flash/new/deep", 0755));
    EXPECT_TRUE(resolveBelowPlace("/flash/new/deep/file", at));
    nearest.clear();
    EXPECT_GE(nearestDirectoryBelowPlace("/flash/new/deep", nearest), 0);
    EXPECT_EQ("/flash/new/deep", nearest);
    // Renamed: the old path leads nowhere, the new one to the directory.
    EXPECT_TRUE(resolveBelowPlace("/flash/old/sub/file", at));
    EXPECT_EQ(0, fileops::rename("/flash/old", "/flash/moved"));
    EXPECT_FALSE(resolveBelowPlace("/flash/old/sub/file", at));
    EXPECT_EQ(0, lstatBelowPlace("/flash/moved/sub", st));
    // Replaced by a link where it was missing: the guard sees the link.
    EXPECT_FALSE(leadsThroughLink("/flash/gone/file"));
    EXPECT_EQ(0, fileops::symlink("/etc", "/flash/gone"));
    EXPECT_TRUE(leadsThroughLink("/flash/gone/file"));
    EXPECT_FALSE(resolveBelowPlace("/flash/gone/file", at));
    EXPECT_EQ(ELOOP, errno);
    // Paths with empty or dot components take the long way, with the same
    // answers.
    EXPECT_TRUE(resolveBelowPlace("/flash//new/deep/file", at));
    EXPECT_FALSE(resolveBelowPlace("/flash/new/./deep/file", at));
    EXPECT_EQ(EINVAL, errno);
  }));
}
