#include "version_parse.h"

#include <gtest/gtest.h>

namespace {

// Version numbers and their texts: the installer shows a number as text,
// pkgtool reads the text back. Some numbers are shown in a form that reads
// back otherwise, and some texts are no version (0).
TEST(Version, TextsBothWays) {
  const struct {
    const char* text;
    Version version;
    bool shown, parsed;
  } rows[] = {
      {"2.5.7", 0x02056607, true, true},   {"2.5", 0x02056600, true, true},
      {"2.5beta3", 0x02056203, true, true}, {"2.5alpha1", 0x02056101, true, true},
      {"2.5rc", 0x02056300, true, true},   {"2.5rc12", 0x0205630C, true, true},
      {"6.46.9", 0x062E6609, true, true},  {"255.255.255", 0xFFFF66FF, true, true},
      {"2.57", 0x02050007, true, false},   {"2.5", 0x02057800, true, false},
      {"0.0", 0, true, false},             {"0x02050007", 0x02050007, false, true},
      {"", 0, false, true}, {"2", 0, false, true}, {"2.", 0, false, true}, {"2.5.", 0, false, true},
      {"2.5.7.1", 0, false, true}, {"256.1", 0, false, true}, {"2.5.256", 0, false, true},
      {"2.5gamma1", 0, false, true}, {"2.5beta3x", 0, false, true}, {"v2.5", 0, false, true},
      {"2.5 ", 0, false, true}, {"-1.5", 0, false, true}, {"0x", 0, false, true},
      {"0x123456789", 0, false, true}, {"0xZZ", 0, false, true},
  };
  for (const auto& row : rows) {
    if (row.shown) {
      EXPECT_STREQ(row.text, versionText(row.version));
    }
    if (!row.parsed) continue;
    Version version = 0;
    EXPECT_EQ(row.version != 0, parseVersion(row.text, version)) << row.text;
    EXPECT_EQ(row.version, version) << row.text;
  }
}

}  // namespace
