#include "version_parse.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseVersion, ReadsEveryTextForm) {
  struct Row {
    const char* text;
    Version version;
  };
  const Row rows[] = {
      {"2.5.7", 0x02056607},     {"2.5", 0x02056600},         {"2.5beta3", 0x02056203},
      {"2.5alpha1", 0x02056101}, {"2.5rc1", 0x02056301},      {"2.5rc", 0x02056300},
      {"6.46.9", 0x062E6609},    {"255.255.255", 0xFFFF66FF}, {"0x02050007", 0x02050007},
  };
  for (const Row& row : rows) {
    Version version = 0;
    ASSERT_TRUE(parseVersion(row.text, version)) << row.text;
    EXPECT_EQ(row.version, version) << row.text;
  }
}

TEST(ParseVersion, RefusesWhatIsNoVersion) {
  for (const char* text : {"", "2", "2.", "2.5.", "2.5.7.1", "256.1", "2.5.256", "2.5gamma1",
                           "2.5beta3x", "v2.5", "2.5 ", "-1.5", "0x", "0x123456789", "0xZZ"}) {
    Version version = 0;
    EXPECT_FALSE(parseVersion(text, version)) << text;
  }
}

}  // namespace
