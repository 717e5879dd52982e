#include "changes/commit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "changes/spinner.h"
#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

std::string linkText(const std::string& path) {
  char text[256];
  const ssize_t length = readlink(path.c_str(), text, sizeof text);
  return length < 0 ? "" : std::string(text, length);
}

}  // namespace

// Removals and links come before moves whatever the order of the paths:
// "/flash//a/b/c" sorts before "/flash/a/b", yet names a file in it. A
// removed directory loses only its plain entries, and stays when anything
// is left in it. Failed links and renames are reported and passed over.
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
    stageSymlink(manifest, "/flash/bootimage", "/flash/var/pdb/new/image");
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
  EXPECT_EQ(linkText(root.host("/flash/var/pdb/sys/image")), "/flash/bootimage");
  EXPECT_EQ(linkText(root.host("/flash/var/pdb/new/image")), "/flash/bootimage");
  EXPECT_FALSE(root.exists("/flash/var/pdb/gone"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/kept/version"));
  EXPECT_TRUE(root.exists("/flash/var/pdb/kept/.keep"));
  EXPECT_TRUE(root.exists("/flash/var/pdb/nested/sub"));
}

// Across file systems a move copies, with the spinner: the copy holds the
// temporary file's content with its permission bits, and the temporary file
// goes; a moved file not made by this run stays where it was. A source
// that is no file, or none at all, leaves the target as it was.
TEST(Commit, MoveAcrossFileSystemsCopiesWithTheSpinner) {
  PrivateRoot root;
  ScopedTmpfs flash(root.host("/flash"), "size=1m");
  REQUIRE_TMPFS(flash);
  const std::string content(40000, 'x');  // three chunks
  root.write("/flash/bin/tool", "old");
  root.write("/ram/sys.npk", "package");
  EXPECT_TRUE(runInRoot(root, [&] {
    EXPECT_FALSE(copyFile("/ram", "/flash/bin/tool", false));
    EXPECT_FALSE(copyFile("/ram/missing", "/flash/bin/tool", false));
    struct stat st;
    ASSERT_EQ(stat("/flash/bin/tool", &st), 0);
    EXPECT_EQ(st.st_size, 3);
    chmod("/flash/bin/tool", 0600);
    Manifest manifest;
    createStagedFile(manifest, "/flash/bin/tool", 0, 0100750) << content;
    const std::string temporary = manifest.entries.at("/flash/bin/tool").source;
    stageMove(manifest, "/ram/sys.npk", "/flash/var/pdb/sys/image");
    testing::internal::CaptureStdout();
    commitChanges(manifest, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 1), "|");
    EXPECT_NE(access(temporary.c_str(), F_OK), 0);
    EXPECT_EQ(access("/ram/sys.npk", F_OK), 0);
    ASSERT_EQ(stat("/flash/bin/tool", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
  }));
  EXPECT_EQ(root.read("/flash/bin/tool"), content);
  EXPECT_EQ(root.read("/flash/var/pdb/sys/image"), "package");
}

// One step per advance, and at most one per 20 ticks.
TEST(Spinner, TurnsOneStepPerAdvanceAndAtMostOnePer20Ticks) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  Spinner spinner;
  for (uint32_t now : {30100u, 30110u, 30121u, 30130u, 30200u, 30200u, 30200u, 30200u}) spinner.advance(now, out);
  fclose(out);
  EXPECT_EQ(std::string(text, size), "|\b/\b-\b\\\b|");
  free(text);
}
