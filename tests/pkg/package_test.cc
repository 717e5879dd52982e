#include "pkg/package.h"

#include <gtest/gtest.h>

#include "pkg/package_db.h"

namespace {

TEST(VersionText, FormsOfEachStage) {
  const struct {
    Version version;
    const char* text;
  } rows[] = {{0x02056607, "2.5.7"},  {0x02056600, "2.5"},     {0x02056203, "2.5beta3"}, {0x02056101, "2.5alpha1"},
              {0x02056300, "2.5rc"},  {0x0205630C, "2.5rc12"}, {0x02050007, "2.57"},     {0x02057800, "2.5"},
              {0xFFFF66FF, "255.255.255"}, {0, "0.0"}};
  for (const auto& row : rows) EXPECT_STREQ(row.text, versionText(row.version));
}

TEST(Records, DisplayNamesAndLookup) {
  InstalledPackage package("system");
  package.version = 0x02056607;
  EXPECT_EQ("system-2.5.7", package.displayName());
  EXPECT_EQ("system-2.5.7", package.installationDisplayName());
  package.bundle = DependencyEntry{"routeros", 0x06016600, 0x06016600, 0};
  EXPECT_EQ("routeros-6.1", package.installationDisplayName());
  EXPECT_EQ("dhcp", dependencyDisplayName(DependencyEntry{"dhcp", 0, 0x03006600, 0}));

  PackageDb db;
  for (const char* name : {"ppp", "system", "system"}) db.packages.push_back(new InstalledPackage(name));
  EXPECT_EQ(1, db.findByName("system"));
  EXPECT_EQ(db.packages[1], db.lookupByName("system"));
  EXPECT_EQ(-1, db.findByName("System"));
  EXPECT_EQ(-1, db.findByName("sys"));
  EXPECT_EQ(nullptr, db.lookupByName("systemx"));
}

}  // namespace
