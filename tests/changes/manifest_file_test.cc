#include "changes/manifest_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "changes/cancel.h"
#include "changes/staging_places.h"
#include "support/private_root.h"

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
// path is named. Staged files are made in the places themselves too.
TEST(ManifestFile, PlannedPathsLieInThePlacesOfStaging) {
  struct Row {
    ChangeKind kind;
    std::string target, source, offending;
  };
  const Row rows[] = {
      {CHANGE_REMOVE, "etc/passwd", "", "etc/passwd"},
      {CHANGE_REMOVE, "/flash/../etc/passwd", "", "/flash/../etc/passwd"},
      {CHANGE_REMOVE, "/flash/./x", "", "/flash/./x"},
      {CHANGE_REMOVE, "/flash/", "", "/flash/"},
      {CHANGE_REMOVE, "/flashy/x", "", "/flashy/x"},
      {CHANGE_REMOVE, std::string("/flash/x\0/../../etc", 19), "", std::string("/flash/x\0/../../etc", 19)},
      {CHANGE_MOVE, "/flash/x", "/etc/shadow", "/etc/shadow"},
      {CHANGE_MOVE, "/etc/shadow", "/ram/tmpAb12Cd", "/etc/shadow"},
      {CHANGE_MOVE, "/flash/x", "ram/tmpAb12Cd", "ram/tmpAb12Cd"},
      {CHANGE_SYMLINK, "/flash/x", "../etc/shadow", "../etc/shadow"},
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
