#include "changes/manifest_file.h"

#include <gtest/gtest.h>

#include "support/private_root.h"

TEST(ManifestFile, WritesInTargetOrderAndReadsTemporaryFilesBackAsMoves) {
  PrivateRoot root;
  Manifest manifest;
  stageChange(manifest, "/flash/z", CHANGE_TEMP, "/ram/tmpAb12Cd");
  stageMove(manifest, "/rw/pckg/x.npk", "/flash/var/pdb/x/image");
  stageSymlink(manifest, "/flash/bootimage", "/flash/var/pdb/sys/image");
  stageChange(manifest, "/flash//bin/x", CHANGE_REMOVE, "");
  // Changes the format cannot hold are left out: read back, these lines
  // would remove /flash/a, or add lines of their own.
  stageChange(manifest, "/flash/a b", CHANGE_REMOVE, "");
  stageChange(manifest, "/flash/c\nU /flash/var/pdb/", CHANGE_REMOVE, "");
  stageMove(manifest, "/ram/x\nU /flash", "/flash/d");
  const std::string text =
      "U /flash//bin/x\n"
      "L /flash/var/pdb/sys/image /flash/bootimage\n"
      "M /flash/var/pdb/x/image /rw/pckg/x.npk\n"
      "M /flash/z /ram/tmpAb12Cd\n";
  EXPECT_FALSE(writeManifest(manifest, root.host("/ram/MANIFEST")));
  EXPECT_EQ(root.read("/ram/MANIFEST"), text);

  Manifest loaded;
  ASSERT_TRUE(readManifest(loaded, root.host("/ram/MANIFEST")));
  EXPECT_EQ(loaded.entries.at("/flash/z").kind, CHANGE_MOVE);
  ASSERT_TRUE(writeManifest(loaded, root.host("/ram/again")));
  EXPECT_EQ(root.read("/ram/again"), text);
}

TEST(ManifestFile, ReadingEndsAtAnEmptyLineAndStopsAtAMalformedOne) {
  PrivateRoot root;
  auto read = [&](const std::string& text, Manifest& manifest) {
    root.write("/ram/MANIFEST", text);
    return readManifest(manifest, root.host("/ram/MANIFEST"));
  };
  Manifest manifest;
  EXPECT_TRUE(read("", manifest));
  EXPECT_TRUE(read("\nU /a\n", manifest));
  EXPECT_TRUE(manifest.empty());
  EXPECT_FALSE(readManifest(manifest, root.host("/ram/missing")));

  // Unknown kinds are passed over; a link text is the rest of the line.
  EXPECT_TRUE(read("M /b /src\nX /ignored\nL /l some text\nU /a", manifest));
  ASSERT_TRUE(writeManifest(manifest, root.host("/ram/out")));
  EXPECT_EQ(root.read("/ram/out"), "U /a\nM /b /src\nL /l some text\n");

  Manifest cut;
  EXPECT_FALSE(read("U /a\nM /b\nU /c\n", cut));
  EXPECT_EQ(cut.size(), 1u);
  EXPECT_FALSE(read("L /link\n", cut));
  EXPECT_FALSE(read("U\n", cut));
}
