#include "pkg/console.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string kHide = "\033[?25l", kShow = "\033[?25h";

// What body prints.
std::string printed(const std::function<void()>& body) {
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

// The status line is redrawn only when it changes, padded over a longer
// one; messages wipe it and draw it again below them, errors and notices
// end it. Messages are kept, cut at 255 formatted characters.
TEST(Console, StatusLineMessagesWipeAndRedraw) {
  PackageDb db;
  EXPECT_EQ(kHide + "\rinstalling system\r" + kShow + kHide + "\rworking" + std::string(10, ' ') + "\r" + kShow +
                "\r" + std::string(79, ' ') + "\rWARNING: low on space\nworking" + kHide + "\r" +
                std::string(7, ' ') + "\r" + kShow + "ERROR: failed 3\nenabled ppp\n",
            printed([&] {
              showStatus(db, "installing system");
              showStatus(db, "installing system");
              showStatus(db, "working");
              printWarning(db, "low on %s", "space");
              printError(db, "failed %d", 3);
              printNotice(db, "enabled %s", "ppp");
            }));
  EXPECT_EQ((std::vector<std::string>{"WARNING: low on space", "ERROR: failed 3", "enabled ppp"}), db.messages);
  EXPECT_EQ("", db.statusLine);
  printed([&] { printError(db, "%s", std::string(400, 'a').c_str()); });
  EXPECT_EQ("ERROR: " + std::string(255, 'a'), db.messages.back());

  PackageDb quiet;
  quiet.quiet = true;
  EXPECT_EQ("", printed([&] {
              showStatus(quiet, "working");
              printError(quiet, "x");
              printWarning(quiet, "y");
              printNotice(quiet, "z");
              showProgress(quiet, "installing a", 1, 2);
            }));
  EXPECT_TRUE(quiet.messages.empty());
}

// A label of 10 leaves a bar of 64, for a line of 77; an unknown total
// never divides by it; large files need 64 bits for the product.
TEST(Console, ProgressBarWidthAndFill) {
  PackageDb db;
  const auto bar = [&db](uint64_t position, uint64_t total) {
    printed([&] { showProgress(db, "installing", position, total); });
    return db.statusLine;
  };
  EXPECT_EQ("installing [" + std::string(32, '#') + std::string(32, ' ') + "]", bar(50, 100));
  EXPECT_EQ("installing [" + std::string(64, ' ') + "]", bar(5, 0));
  EXPECT_EQ("installing [" + std::string(64, '#') + "]", bar(100, 100));
  EXPECT_EQ("installing [" + std::string(48, '#') + std::string(16, ' ') + "]", bar(3000000000u, 4000000000u));
}

}  // namespace
