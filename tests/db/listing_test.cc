#include "db/listing.h"

#include <gtest/gtest.h>

namespace {

// Right-aligns text in a cell of the given width.
std::string cell(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

const std::string kHeader = cell("Name", 16) + "    " + cell("Version", 13) + " " + cell("Built", 20) +
                            cell("Note", 40) + "\n" + std::string(94, '-') + "\n";

TEST(Listing, RightAlignedCellsUnderTheHeader) {
  EXPECT_EQ(95u, kHeader.find('-'));  // a 94-character header
  PackageDb db;
  InstalledPackage* system = new InstalledPackage("system");
  system->version = 0x06306607;    // 6.48.7
  system->buildTime = 1709647629;  // Mar/05/2024 14:07:09
  system->note = "core";
  InstalledPackage* member = new InstalledPackage("wireless-drivers-long");
  member->version = 0x07016203;
  member->disabled = true;
  member->bundle.name = "bundle";
  // Placeholders that a bundle's member list adds are not listed.
  db.packages = {system, new InstalledPackage(""), member};
  const std::string systemRow = cell("system", 16) + "    " + cell("6.48.7", 13) + " " +
                                "Mar/05/2024 14:07:09 " + cell("core", 40) + "\n";
  EXPECT_EQ(96u, systemRow.size());  // 95 characters and the line end
  // A long name pushes its row to the right; X for disabled, B for a member.
  const std::string memberRow = "wireless-drivers-long XB " + cell("7.1beta3", 13) + " " +
                                "Jan/01/1970 00:00:00 " + std::string(40, ' ') + "\n";
  testing::internal::CaptureStdout();
  showPackages(db);
  EXPECT_EQ(kHeader + systemRow + memberRow, testing::internal::GetCapturedStdout());
}

}  // namespace
