#include "version_parse.h"

#include <gtest/gtest.h>

namespace {

// Every text form; 0 for a text that is no version.
TEST(ParseVersion, TextForms) {
  const struct {
    const char* text;
    Version version;
  } rows[] = {
      {"2.5.7", 0x02056607},     {"2.5", 0x02056600},         {"2.5beta3", 0x02056203}, {"2.5alpha1", 0x02056101},
      {"2.5rc1", 0x02056301},    {"2.5rc", 0x02056300},       {"6.46.9", 0x062E6609},   {"255.255.255", 0xFFFF66FF},
      {"0x02050007", 0x02050007}, {"", 0},  {"2", 0},  {"2.", 0}, {"2.5.", 0}, {"2.5.7.1", 0}, {"256.1", 0},
      {"2.5.256", 0}, {"2.5gamma1", 0}, {"2.5beta3x", 0}, {"v2.5", 0}, {"2.5 ", 0}, {"-1.5", 0}, {"0x", 0},
      {"0x123456789", 0}, {"0xZZ", 0},
  };
  for (const auto& row : rows) {
    Version version = 0;
    EXPECT_EQ(row.version != 0, parseVersion(row.text, version)) << row.text;
    EXPECT_EQ(row.version, version) << row.text;
  }
}

}  // namespace
