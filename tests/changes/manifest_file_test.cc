#include "changes/manifest_file.h"

#include <gtest/gtest.h>

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

// A saved Manifest loses the temporary files made for its targets (named
// "tmp" and six letters or digits, in RAM or in a directory above the
// target) but no other source, nor a link's text; one of this run drops
// its temporary files only.
TEST(Cancel, TemporaryFilesGoOtherSourcesStay) {
  const std::vector<std::pair<std::string, std::string>> gone = {
      {"/ram/tmpAb12Cd", "/flash/a"}, {"/flash/var/pdb/tmpXy34Zw", "/flash/var/pdb/sys/deps"}, {"/ram/tmpRun001", ""}};
  const std::vector<std::pair<std::string, std::string>> kept = {
      {"/rw/pckg/.download/tmpAb12Cd", "/flash/var/pdb/a/image"}, {"/flash/var/tmpQq11Ww", "/flash/etc/x"},
      {"/ram/tmpShort", "/flash/b"}, {"/ram/tmpLonger1", "/flash/e"}, {"/ram/sys.npk", "/flash/var/pdb/sys/image"},
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
