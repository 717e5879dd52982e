#include "db/listing.h"

#include <gtest/gtest.h>

namespace {

// Right-aligned cells under a 94-character header; a long name pushes its
// row to the right; X for disabled, B for a member of a bundle; the
// placeholders that a bundle's member list adds are not listed.
TEST(Listing, RightAlignedCellsUnderTheHeader) {
  PackageDb db;
  InstalledPackage* system = new InstalledPackage("system");
  system->version = 0x06306607;
  system->buildTime = 1709647629;
  system->note = "core";
  InstalledPackage* member = new InstalledPackage("wireless-drivers-long");
  member->version = 0x07016203;
  member->disabled = true;
  member->bundle.name = "bundle";
  db.packages = {system, new InstalledPackage(""), member};
  testing::internal::CaptureStdout();
  showPackages(db);
  EXPECT_EQ(
      "            Name          Version                Built                                    Note\n"
      "----------------------------------------------------------------------------------------------\n"
      "          system           6.48.7 Mar/05/2024 14:07:09                                     core\n"
      "wireless-drivers-long XB      7.1beta3 Jan/01/1970 00:00:00                                         \n",
      testing::internal::GetCapturedStdout());
}

}  // namespace
