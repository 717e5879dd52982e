#include "changes/cancel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "changes/manifest_file.h"
#include "support/private_root.h"

TEST(Cancel, SavedManifestLosesItsTemporaryFilesButNoOtherSource) {
  PrivateRoot root;
  // Sources that merely look like temporary files, or lie in RAM.
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
    EXPECT_NE(access(inRam.c_str(), F_OK), 0);
    EXPECT_NE(access(nearTarget.c_str(), F_OK), 0);
    for (const char* kept : {"/rw/pckg/.download/tmpAb12Cd", "/ram/tmpShort", "/ram/sys.npk"})
      EXPECT_EQ(access(kept, F_OK), 0) << kept;

    // A Manifest of this run drops its temporary files only.
    createStagedFile(staged, "/flash/x", 0, 0).close();
    const std::string temporary = staged.entries.at("/flash/x").source;
    cancelChanges(staged);
    EXPECT_TRUE(staged.empty());
    EXPECT_NE(access(temporary.c_str(), F_OK), 0);
    EXPECT_EQ(access("/ram/sys.npk", F_OK), 0);
  }));
}
