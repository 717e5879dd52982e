#include "pkg/console.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string kHide = "\033[?25l";
const std::string kShow = "\033[?25h";
const std::string kWipe = "\r" + std::string(79, ' ') + "\r";

// What body prints.
std::string printed(const std::function<void()>& body) {
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

TEST(Console, StatusLineMessagesWipeAndRedraw) {
  PackageDb db;
  const std::string padded = "\rworking" + std::string(10, ' ') + "\r";
  EXPECT_EQ(kHide + "\rinstalling system\r" + kShow + kHide + padded + kShow, printed([&] {
              showStatus(db, "installing system");
              showStatus(db, "installing system");
              showStatus(db, "working");
            }));
  const std::string erase = kHide + "\r" + std::string(7, ' ') + "\r" + kShow;
  EXPECT_EQ(kWipe + "WARNING: low on space\nworking" + erase + "ERROR: failed 3\nenabled ppp\n", printed([&] {
              printWarning(db, "low on %s", "space");
              printError(db, "failed %d", 3);
              printNotice(db, "enabled %s", "ppp");
            }));
  EXPECT_EQ((std::vector<std::string>{"WARNING: low on space", "ERROR: failed 3", "enabled ppp"}),
            db.messages);
  EXPECT_EQ("", db.statusLine);

  // A message is cut at 255 formatted characters, its prefix aside.
  printed([&] { printError(db, "%s", std::string(400, 'a').c_str()); });
  EXPECT_EQ("ERROR: " + std::string(255, 'a'), db.messages.back());
}

TEST(Console, QuietPrintsAndKeepsNothing) {
  PackageDb db;
  db.quiet = true;
  EXPECT_EQ("", printed([&] {
              showStatus(db, "working");
              printError(db, "x");
              printWarning(db, "y");
              printNotice(db, "z");
              showProgress(db, "installing a", 1, 2);
            }));
  EXPECT_TRUE(db.messages.empty());
}

TEST(Console, ProgressBarWidthAndFill) {
  PackageDb db;
  const auto bar = [&db](uint64_t position, uint64_t total) {
    printed([&] { showProgress(db, "installing", position, total); });
    return db.statusLine;
  };
  // A label of 10 leaves a bar of 64, for a line of 77.
  EXPECT_EQ("installing [" + std::string(32, '#') + std::string(32, ' ') + "]", bar(50, 100));
  EXPECT_EQ("installing [" + std::string(64, ' ') + "]", bar(5, 0));  // an unknown total never divides by it
  EXPECT_EQ("installing [" + std::string(64, '#') + "]", bar(100, 100));
  // Large files: the product needs 64 bits.
  EXPECT_EQ("installing [" + std::string(48, '#') + std::string(16, ' ') + "]",
            bar(3000000000u, 4000000000u));
}

}  // namespace
