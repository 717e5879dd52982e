#include "changes/package_removal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/private_root.h"

// The files (paths that name /flash itself or climb out of it passed
// over), the database entry and an unshared boot image are staged for
// removal beside a new version of a file; a boot image that another name
// still refers to stays.
TEST(RemovePackageFiles, StagesFilesDatabaseEntryAndUnsharedBootImage) {
  PrivateRoot root;
  for (const char* file : {"/flash/bin/x", "/flash/etc/y", "/flash/var/pdb/sys/image", "/flash/bootimage", "/ram/kept"})
    root.write(file, "content");
  EXPECT_TRUE(runInRoot(root, [] {
    InstalledPackage package("sys");
    package.flags = PF_BOOT;
    package.scheduled = SCHEDULE_UNINSTALL;
    package.files = {"/bin/x", "/etc/y", "/bin/missing", "/", "/../ram/kept"};
    Manifest manifest;
    createStagedFile(manifest, "/flash/bin/x", 0, 0).close();
    removePackageFiles(package, manifest);
    std::string staged;
    for (const auto& [target, change] : manifest.entries) staged += target + ":" + std::to_string(change.kind) + " ";
    EXPECT_EQ("/flash//bin/x:4 /flash//etc/y:4 /flash/bin/x:1 /flash/bootimage:4 /flash/var/pdb/sys/:4 "
              "/flash/var/pdb/sys/image:4 ",
              staged);
    EXPECT_TRUE(package.files.empty());
    EXPECT_EQ(package.scheduled, SCHEDULE_NONE);
    ASSERT_EQ(link("/flash/bootimage", "/flash/bootimage.copy"), 0);
    Manifest again;
    removePackageFiles(package, again);
    EXPECT_EQ(again.entries.count("/flash/bootimage"), 0u);
  }));
}
