#include "changes/manifest_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "changes/cancel.h"
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
  Manifest none;
  EXPECT_FALSE(readManifest(none, root.host("/ram/missing")));
}

// A saved Manifest loses the temporary files made for its targets (in RAM,
// or in a directory above the target) but no other source, not even one
// that looks like one elsewhere; one of this run drops its temporary files
// only.
TEST(Cancel, TemporaryFilesGoOtherSourcesStay) {
  PrivateRoot root;
  root.write("/rw/pckg/.download/tmpAb12Cd", "download");
  root.write("/ram/tmpShort", "x");
  root.write("/ram/sys.npk", "package");
  EXPECT_TRUE(runInRoot(root, [] {
    Manifest staged;
    createStagedFile(staged, "/flash/var/pdb/sys/version", 0, 0).close();
    createStagedFile(staged, "/flash/var/pdb/sys/deps", 10, 0).close();
    const std::string inRam = staged.entries.at("/flash/var/pdb/sys/version").source;
    const std::string nearTarget = staged.entries.at("/flash/var/pdb/sys/deps").source;
    ASSERT_EQ(parentDir(nearTarget), "/flash/var/pdb");
    stageMove(staged, "/rw/pckg/.download/tmpAb12Cd", "/flash/var/pdb/a/image");
    stageMove(staged, "/ram/tmpShort", "/flash/var/pdb/b/image");
    stageMove(staged, "/ram/sys.npk", "/flash/var/pdb/sys/image");
    stageSymlink(staged, "/ram/tmpXy12Zw", "/flash/link");
    ASSERT_TRUE(writeManifest(staged, "/ram/MANIFEST"));
    Manifest saved;
    ASSERT_TRUE(readManifest(saved, "/ram/MANIFEST"));
    cancelSavedChanges(saved);
    EXPECT_TRUE(saved.empty());
    for (const std::string& gone : {inRam, nearTarget}) EXPECT_NE(access(gone.c_str(), F_OK), 0) << gone;
    for (const char* kept : {"/rw/pckg/.download/tmpAb12Cd", "/ram/tmpShort", "/ram/sys.npk"})
      EXPECT_EQ(access(kept, F_OK), 0) << kept;
    createStagedFile(staged, "/flash/x", 0, 0).close();
    const std::string temporary = staged.entries.at("/flash/x").source;
    cancelChanges(staged);
    EXPECT_TRUE(staged.empty());
    EXPECT_NE(access(temporary.c_str(), F_OK), 0);
    EXPECT_EQ(access("/ram/sys.npk", F_OK), 0);
  }));
}
