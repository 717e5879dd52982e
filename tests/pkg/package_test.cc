#include "pkg/package.h"

#include <gtest/gtest.h>

#include "pkg/package_db.h"

namespace {

Version pack(unsigned major, unsigned minor, unsigned stage, unsigned number) {
  return major << 24 | minor << 16 | stage << 8 | number;
}

TEST(VersionText, FormsOfEachStage) {
  EXPECT_STREQ("2.5.7", versionText(pack(2, 5, 'f', 7)));
  EXPECT_STREQ("2.5", versionText(pack(2, 5, 'f', 0)));
  EXPECT_STREQ("2.5beta3", versionText(pack(2, 5, 'b', 3)));
  EXPECT_STREQ("2.5alpha1", versionText(pack(2, 5, 'a', 1)));
  EXPECT_STREQ("2.5rc", versionText(pack(2, 5, 'c', 0)));
  EXPECT_STREQ("2.5rc12", versionText(pack(2, 5, 'c', 12)));
  EXPECT_STREQ("2.57", versionText(pack(2, 5, 0, 7)));
  EXPECT_STREQ("2.5", versionText(pack(2, 5, 'x', 0)));
  EXPECT_STREQ("255.255.255", versionText(0xFFFF66FF));
  EXPECT_STREQ("0.0", versionText(0));
}

TEST(Records, DisplayNamesAndLookup) {
  InstalledPackage package("system");
  package.version = pack(2, 5, 'f', 7);
  EXPECT_EQ("system-2.5.7", package.displayName());
  EXPECT_EQ("system-2.5.7", package.installationDisplayName());
  package.bundle = DependencyEntry{"routeros", pack(6, 1, 'f', 0), pack(6, 1, 'f', 0), 0};
  EXPECT_EQ("routeros-6.1", package.installationDisplayName());
  EXPECT_EQ("dhcp", dependencyDisplayName(DependencyEntry{"dhcp", 0, pack(3, 0, 'f', 0), 0}));

  PackageDb db;
  for (const char* name : {"ppp", "system", "system"}) db.packages.push_back(new InstalledPackage(name));
  EXPECT_EQ(1, db.findByName("system"));
  EXPECT_EQ(db.packages[1], db.lookupByName("system"));
  EXPECT_EQ(-1, db.findByName("System"));
  EXPECT_EQ(-1, db.findByName("sys"));
  EXPECT_EQ(nullptr, db.lookupByName("systemx"));
}

}  // namespace
