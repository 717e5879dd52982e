#include "pkg/console.h"

#include <gtest/gtest.h>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kHide = "\033[?25l";
const std::string kShow = "\033[?25h";
const std::string kWipe = "\r" + std::string(79, ' ') + "\r";

TEST(Console, StatusLinePaddingAndRepeat) {
  PackageDb db;
  CaptureStdout();
  showStatus(db, "installing system");
  showStatus(db, "installing system");
  showStatus(db, "done");
  EXPECT_EQ(kHide + "\rinstalling system\r" + kShow + kHide + "\rdone" + std::string(13, ' ') + "\r" + kShow,
            GetCapturedStdout());
  EXPECT_EQ("done", db.statusLine);
}

TEST(Console, WarningRedrawsStatusErrorWipesIt) {
  PackageDb db;
  showStatus(db, "working");  // not captured
  CaptureStdout();
  printWarning(db, "low on %s", "space");
  printError(db, "failed %d", 3);
  printNotice(db, "enabled %s", "ppp");
  const std::string erase = kHide + "\r" + std::string(7, ' ') + "\r" + kShow;
  EXPECT_EQ(kWipe + "WARNING: low on space\nworking" + erase + "ERROR: failed 3\nenabled ppp\n",
            GetCapturedStdout());
  EXPECT_EQ((std::vector<std::string>{"WARNING: low on space", "ERROR: failed 3", "enabled ppp"}),
            db.messages);
  EXPECT_EQ("", db.statusLine);
}

TEST(Console, QuietPrintsAndKeepsNothing) {
  PackageDb db;
  db.quiet = true;
  CaptureStdout();
  showStatus(db, "working");
  printError(db, "x");
  printWarning(db, "y");
  printNotice(db, "z");
  showProgress(db, "installing a", 1, 2);
  EXPECT_EQ("", GetCapturedStdout());
  EXPECT_TRUE(db.messages.empty());
}

TEST(Console, MessageCutAt255FormattedCharacters) {
  PackageDb db;
  const std::string longText(400, 'a');
  CaptureStdout();
  printError(db, "%s", longText.c_str());
  GetCapturedStdout();
  ASSERT_EQ(1u, db.messages.size());
  EXPECT_EQ("ERROR: " + std::string(255, 'a'), db.messages[0]);
}

TEST(Console, ProgressBarWidthAndFill) {
  PackageDb db;
  CaptureStdout();
  showProgress(db, "installing", 50, 100);  // label of 10: a bar of 64
  GetCapturedStdout();
  EXPECT_EQ("installing [" + std::string(32, '#') + std::string(32, ' ') + "]", db.statusLine);
  EXPECT_EQ(77u, db.statusLine.size());

  CaptureStdout();
  showProgress(db, "installing", 5, 0);  // an unknown total never divides by it
  showProgress(db, "installing", 100, 100);
  GetCapturedStdout();
  EXPECT_EQ("installing [" + std::string(64, '#') + "]", db.statusLine);

  // Large files: the product needs 64 bits.
  CaptureStdout();
  showProgress(db, "installing", 3000000000u, 4000000000u);
  GetCapturedStdout();
  EXPECT_EQ("installing [" + std::string(48, '#') + std::string(16, ' ') + "]", db.statusLine);
}

}  // namespace
