// processRequests is checked with the resolver's cases; here the entry
// points that other flows call directly.
#include "install/apply_plan.h"

#include <gtest/gtest.h>

#include "support/private_root.h"

namespace {

InstalledPackage* add(PackageDb& db, const std::string& name) {
  db.packages.push_back(new InstalledPackage(name));
  return db.packages.back();
}

TEST(ApplyPlan, UninstallByNameAndPlaceholders) {
  PrivateRoot root;
  root.write("/flash/var/pdb/dup/version", "1 0\n");
  EXPECT_TRUE(runInRoot(root, [] {
    PackageDb db;
    add(db, "dup");
    InstalledPackage* second = add(db, "dup");
    Manifest manifest;
    EXPECT_TRUE(uninstallByName(db, manifest, "dup"));  // the first of the name
    EXPECT_EQ(std::vector<InstalledPackage*>{second}, db.packages);
    EXPECT_EQ(CHANGE_REMOVE, manifest.entries.at("/flash/var/pdb/dup/").kind);
    EXPECT_TRUE(uninstallByName(db, manifest, "dup"));
    EXPECT_FALSE(uninstallByName(db, manifest, "dup"));

    // Applying passes over a bundle's placeholder.
    InstalledPackage* placeholder = add(db, "");
    placeholder->scheduled = SCHEDULE_UNINSTALL;
    Manifest untouched;
    applyRemovals(db, untouched, {placeholder}, REPORT_ALL);
    applyEnables(db, untouched, {placeholder}, REPORT_ALL);
    EXPECT_EQ(1u, db.packages.size());
    EXPECT_TRUE(untouched.empty());
    EXPECT_TRUE(db.messages.empty());
  }));
}

}  // namespace
