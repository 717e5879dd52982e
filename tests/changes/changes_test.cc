// Staging, saving, committing and cancelling changes, in private roots.
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/manifest_file.h"
#include "changes/space_check.h"
#include "changes/staging_places.h"
#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

namespace {

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

// Written in target order; temporary files read back as moves. Changes the
// format cannot hold are left out: read back, these lines would remove
// /flash/a, or add lines of their own.
TEST(ManifestFile, WritesInTargetOrderAndReadsTemporaryFilesBackAsMoves) {
  PrivateRoot root;
  Manifest manifest;
  stageChange(manifest, "/flash/z", CHANGE_TEMP, "/ram/tmpAb12Cd");
  stageMove(manifest, "/rw/pckg/x.npk", "/flash/var/pdb/x/image");
  stageSymlink(manifest, "/flash/bootimage", "/flash/var/pdb/sys/image");
  stageChange(manifest, "/flash//bin/x", CHANGE_REMOVE, "");
  stageChange(manifest, "/flash/a b", CHANGE_REMOVE, "");
  stageChange(manifest, "/flash/c\nU /flash/var/pdb/", CHANGE_REMOVE, "");
  stageMove(manifest, "/ram/x\nU /flash", "/flash/d");
  const std::string text =
      "U /flash//bin/x\nL /flash/var/pdb/sys/image /flash/bootimage\nM /flash/var/pdb/x/image /rw/pckg/x.npk\n"
      "M /flash/z /ram/tmpAb12Cd\n";
  EXPECT_FALSE(writeManifest(manifest, root.host("/ram/MANIFEST")));
  EXPECT_EQ(root.read("/ram/MANIFEST"), text);
  Manifest loaded;
  ASSERT_TRUE(readManifest(loaded, root.host("/ram/MANIFEST")));
  EXPECT_EQ(loaded.entries.at("/flash/z").kind, CHANGE_MOVE);
  ASSERT_TRUE(writeManifest(loaded, root.host("/ram/again")));
  EXPECT_EQ(root.read("/ram/again"), text);
}

// An empty line ends the file; unknown kinds are passed over; a link text
// is the rest of the line; a malformed line stops reading, with what came
// before it kept.
TEST(ManifestFile, ReadingEndsAtAnEmptyLineAndStopsAtAMalformedOne) {
  PrivateRoot root;
  const auto read = [&](const std::string& text, bool ok) {
    root.write("/ram/MANIFEST", text);
    Manifest manifest;
    EXPECT_EQ(ok, readManifest(manifest, root.host("/ram/MANIFEST"))) << text;
    writeManifest(manifest, root.host("/ram/out"));
    return root.read("/ram/out");
  };
  EXPECT_EQ("", read("", true));
  EXPECT_EQ("", read("\nU /a\n", true));
  EXPECT_EQ("U /a\nM /b /src\nL /l some text\n", read("M /b /src\nX /ignored\nL /l some text\nU /a", true));
  EXPECT_EQ("U /a\n", read("U /a\nM /b\nU /c\n", false));
  EXPECT_EQ("", read("L /link\n", false));
  EXPECT_EQ("", read("U\n", false));
  // A line longer than two of the longest paths is not read whole: the
  // reading stops there, as it does at a read error.
  EXPECT_EQ("U /a\n", read("U /a\nU /" + std::string(9000, 'b') + "\nU /c\n", true));
  EXPECT_EQ("", read(std::string(9000, '\0'), false));
  Manifest none;
  EXPECT_FALSE(readManifest(none, root.host("/ram/missing")));
  // A FIFO is not waited on.
  ASSERT_EQ(0, mkfifo(root.host("/ram/fifo").c_str(), 0600));
  EXPECT_FALSE(readManifest(none, root.host("/ram/fifo")));
}

// A plan read back from disk names only paths that a run stages: absolute,
// below /flash, /ram, /rw or /tmp, without "." or ".."; the first other
// path is named. Staged files are made in the places themselves too. (A
// relative or climbing target, and a source or link text outside: the
// saved-manifest scenarios.)
TEST(ManifestFile, PlannedPathsLieInThePlacesOfStaging) {
  struct Row {
    ChangeKind kind;
    std::string target, source, offending;
  };
  const Row rows[] = {
      {CHANGE_REMOVE, "/flash/./x", "", "/flash/./x"},
      {CHANGE_REMOVE, "/flash/", "", "/flash/"},
      {CHANGE_REMOVE, "/flashy/x", "", "/flashy/x"},
      {CHANGE_REMOVE, std::string("/flash/x\0/../../etc", 19), "", std::string("/flash/x\0/../../etc", 19)},
      {CHANGE_MOVE, "/etc/shadow", "/ram/tmpAb12Cd", "/etc/shadow"},
      {CHANGE_MOVE, "/flash/x", "ram/tmpAb12Cd", "ram/tmpAb12Cd"},
      {CHANGE_SYMLINK, "/flash/x", "/rw/..", "/rw/.."},
  };
  Manifest good;
  stageChange(good, "/flash//bin/x", CHANGE_REMOVE, "");
  stageChange(good, "/flash/var/pdb/sys/", CHANGE_REMOVE, "");
  stageMove(good, "/ram/tmpAb12Cd", "/flash/etc/x");
  stageMove(good, "/tmp/tmpAb12Cd", "/flash/boot/y");
  stageMove(good, "/rw/pckg/.download/a.npk", "/flash/var/pdb/a/image");
  stageSymlink(good, "/flash/bootimage", "/flash/var/pdb/k/image");
  std::string offending;
  EXPECT_TRUE(plannedPathsAreSafe(good, offending));
  for (const Row& row : rows) {
    Manifest plan = good;
    stageChange(plan, row.target, row.kind, row.source);
    EXPECT_FALSE(plannedPathsAreSafe(plan, offending)) << row.target;
    EXPECT_EQ(row.offending, offending);
  }
  for (const char* directory : {"/ram", "/tmp", "/flash", "/rw/pckg/.download", "/flash//var/"})
    EXPECT_TRUE(isStagingDirectoryPath(directory)) << directory;
  for (const char* directory : {"/", "", "/etc", "ram", "/flash/../etc", "/ram/.", "/rwx"})
    EXPECT_FALSE(isStagingDirectoryPath(directory)) << directory;
}

// A saved Manifest loses the temporary files made for its targets (named
// "tmp" and six letters or digits, in RAM or in a directory above the
// target, but never outside the places of staging) and no other source,
// nor a link's text; one of this run drops its temporary files only.
TEST(Cancel, TemporaryFilesGoOtherSourcesStay) {
  const std::vector<std::pair<std::string, std::string>> gone = {
      {"/ram/tmpAb12Cd", "/flash/a"}, {"/flash/var/pdb/tmpXy34Zw", "/flash/var/pdb/sys/deps"}, {"/ram/tmpRun001", ""}};
  const std::vector<std::pair<std::string, std::string>> kept = {
      {"/rw/pckg/.download/tmpAb12Cd", "/flash/var/pdb/a/image"}, {"/flash/var/tmpQq11Ww", "/flash/etc/x"},
      {"/ram/tmpShort", "/flash/b"}, {"/ram/tmpLonger1", "/flash/e"}, {"/ram/sys.npk", "/flash/var/pdb/sys/image"},
      {"/tmpQq12Ww", "/flash/f"},
      {"/ram/tmpXy12Zw", ""}};
  PrivateRoot root;
  for (const auto& list : {gone, kept})
    for (const auto& [source, target] : list) root.write(source, "x");
  EXPECT_TRUE(runInRoot(root, [&] {
    Manifest saved, staged;
    for (const auto& list : {gone, kept})
      for (const auto& [source, target] : list)
        if (!target.empty()) stageMove(saved, source, target);
    stageSymlink(saved, "/ram/tmpXy12Zw", "/flash/link");
    cancelSavedChanges(saved);
    EXPECT_TRUE(saved.empty());
    stageChange(staged, "/flash/c", CHANGE_TEMP, "/ram/tmpRun001");
    stageMove(staged, "/ram/sys.npk", "/flash/d");
    cancelChanges(staged);
    EXPECT_TRUE(staged.empty());
  }));
  for (const auto& [source, target] : gone) EXPECT_FALSE(root.exists(source)) << source;
  for (const auto& [source, target] : kept) EXPECT_TRUE(root.exists(source)) << source;
}

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

int64_t freeBlocks(const char* path) {
  struct statfs fs;
  return statfs(path, &fs) == 0 ? int64_t(fs.f_bfree) : -1;
}

// A file of the given number of 4096-byte blocks that takes no room where it lies.
void makeSparse(const std::string& path, int64_t blocks) {
  std::ofstream(path).close();
  ASSERT_EQ(truncate(path.c_str(), blocks * 4096), 0);
}

// More than 16 blocks must stay free on /flash and on /flash/boot. Files in
// RAM moved onto the boot file system count for it and for /flash;
// /flash/bootimage lies beside /flash/boot, not on it. A file replaced by
// one from the same file system changes nothing; removing a link frees the
// link's own block, not the file it leads to; a file already on the flash
// (moved there, or staged beside its target) took its room already. A file
// system that cannot be queried counts as full.
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
    // A third of the free room moved within the flash, then a third staged
    // on it: each already took its room.
    Manifest beside;
    const size_t third = size_t(freeBlocks("/flash") / 3 * 4096);
    std::ofstream("/flash/download.npk") << std::string(third, 'd');
    stageMove(beside, "/flash/download.npk", "/flash/var/image");
    EXPECT_TRUE(checkSpace(beside));
    createStagedFile(beside, "/flash/new", uint32_t(third), 0644) << std::string(third, 'n');
    ASSERT_EQ(0u, beside.entries.at("/flash/new").source.rfind("/flash/", 0));
    EXPECT_TRUE(checkSpace(beside));
    cancelChanges(beside);
  }));
  PrivateRoot plain;
  EXPECT_TRUE(runInRoot(plain, [] {
    EXPECT_TRUE(checkSpace(Manifest()));
    ASSERT_EQ(rmdir("/flash/boot"), 0);
    EXPECT_FALSE(checkSpace(Manifest()));
  }));
}

}  // namespace
