#include "db/listing.h"

#include <gtest/gtest.h>

namespace {

// Right-aligned cells under a 94-character header; a long name pushes its
// row to the right; X for disabled, B for a member of a bundle; the
// placeholders that a bundle's member list adds are not listed; control
// characters are escaped.
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
  // Control characters of a name or note read from disk are shown escaped.
  InstalledPackage* odd = new InstalledPackage("a\x1b[2Jb\x7f");
  odd->note = "tab\there\nand \xc3\xa9";
  db.packages = {system, new InstalledPackage(""), member, odd};
  testing::internal::CaptureStdout();
  showPackages(db);
  EXPECT_EQ(
      "            Name          Version                Built                                    Note\n"
      "----------------------------------------------------------------------------------------------\n"
      "          system           6.48.7 Mar/05/2024 14:07:09                                     core\n"
      "wireless-drivers-long XB      7.1beta3 Jan/01/1970 00:00:00                                         \n"
      "   a\\x1b[2Jb\\x7f              0.0 Jan/01/1970 00:00:00                    tab\\x09here\\x0aand \xc3\xa9\n",
      testing::internal::GetCapturedStdout());
}

}  // namespace
