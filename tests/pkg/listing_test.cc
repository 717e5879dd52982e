#include "pkg/listing.h"

#include <gtest/gtest.h>

namespace {

// Right-aligns text in a cell of the given width.
std::string cell(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

const std::string kHeader = cell("Name", 16) + "    " + cell("Version", 13) + " " + cell("Built", 20) +
                            cell("Note", 40) + "\n" + std::string(94, '-') + "\n";

std::string show(const PackageDb& db) {
  testing::internal::CaptureStdout();
  showPackages(db);
  return testing::internal::GetCapturedStdout();
}

TEST(Listing, EmptyDatabaseShowsHeaderOnly) {
  PackageDb db;
  EXPECT_EQ(kHeader, show(db));
  EXPECT_EQ(95u, kHeader.find('-'));  // a 94-character header
}

TEST(Listing, RowsAreRightAlignedCells) {
  PackageDb db;
  InstalledPackage* system = new InstalledPackage("system");
  system->version = 0x06306607;  // 6.48.7
  system->buildTime = 1709647629;  // Mar/05/2024 14:07:09
  system->note = "core";
  InstalledPackage* member = new InstalledPackage("wireless-drivers-long");
  member->version = 0x07016203;
  member->disabled = true;
  member->bundle.name = "bundle";
  db.packages = {system, member};
  const std::string systemRow = cell("system", 16) + "    " + cell("6.48.7", 13) + " " +
                                "Mar/05/2024 14:07:09 " + cell("core", 40) + "\n";
  EXPECT_EQ(96u, systemRow.size());  // 95 characters and the line end
  // A long name pushes its row to the right; X for disabled, B for a member.
  const std::string memberRow = "wireless-drivers-long XB " + cell("7.1beta3", 13) + " " +
                                "Jan/01/1970 00:00:00 " + std::string(40, ' ') + "\n";
  EXPECT_EQ(kHeader + systemRow + memberRow, show(db));
}

TEST(Listing, BundlePlaceholdersAreNotListed) {
  PackageDb db;
  InstalledPackage* placeholder = new InstalledPackage("");
  placeholder->addConflict("ppp", 0);
  db.packages = {placeholder};
  EXPECT_EQ(kHeader, show(db));
}

}  // namespace
