#include "changes/package_removal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/private_root.h"

TEST(RemovePackageFiles, StagesFilesDatabaseEntryAndUnsharedBootImage) {
  PrivateRoot root;
  for (const char* file : {"/flash/bin/x", "/flash/etc/y", "/flash/var/pdb/sys/image",
                           "/flash/bootimage", "/ram/kept"})
    root.write(file, "content");
  EXPECT_TRUE(runInRoot(root, [] {
    InstalledPackage package("sys");
    package.flags = PF_BOOT;
    package.scheduled = SCHEDULE_UNINSTALL;
    // Paths that name /flash itself or climb out of it are passed over.
    package.files = {"/bin/x", "/etc/y", "/bin/missing", "/", "/../ram/kept"};
    Manifest manifest;
    createStagedFile(manifest, "/flash/bin/x", 0, 0).close();
    removePackageFiles(package, manifest);

    std::vector<std::string> removed;
    for (const auto& [target, change] : manifest.entries)
      if (change.kind == CHANGE_REMOVE) removed.push_back(target);
    EXPECT_EQ(removed, (std::vector<std::string>{"/flash//bin/x", "/flash//etc/y", "/flash/bootimage",
                                                 "/flash/var/pdb/sys/", "/flash/var/pdb/sys/image"}));
    // The new version of /flash/bin/x stays staged beside the old one's removal.
    EXPECT_EQ(manifest.entries.at("/flash/bin/x").kind, CHANGE_TEMP);
    EXPECT_TRUE(package.files.empty());
    EXPECT_EQ(package.scheduled, SCHEDULE_NONE);

    // A boot image that another name still refers to stays.
    ASSERT_EQ(link("/flash/bootimage", "/flash/bootimage.copy"), 0);
    Manifest again;
    removePackageFiles(package, again);
    EXPECT_EQ(again.entries.count("/flash/bootimage"), 0u);
  }));
}
