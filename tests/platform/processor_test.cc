#include "platform/processor.h"

#include <gtest/gtest.h>

#include "platform/flash_device.h"
#include "support/private_root.h"

namespace {

uint32_t answer = 0;
int queries = 0;
uint32_t flashAnswer() {
  ++queries;
  return answer;
}

// Two revisions ask the flash device; the others go by processor family,
// at the edges of each family's range.
TEST(FlashKind, FollowsTheProcessorVersion) {
  const struct {
    uint32_t pvr, answer;
    int kind, queries;
  } rows[] = {
      {0x80211000, 0x10, 2, 1}, {0x802110FF, 0, 4, 1}, {0x80212142, 0, 4, 1}, {0x80201000, 0, 2, 0},
      {0x00210000, 0, 2, 0},    {0x001F0000, 0, 0, 0}, {0x00220000, 0, 0, 0}, {0x00830000, 0, 1, 0},
      {0x80850102, 0, 1, 0},    {0x00860000, 0, 0, 0}, {0x00820000, 0, 0, 0}, {0x13020021, 0, 3, 0},
      {0x13030000, 0, 0, 0},    {0x14020000, 0, 0, 0},
  };
  for (const auto& row : rows) {
    answer = row.answer;
    queries = 0;
    EXPECT_EQ(row.kind, flashKindFor(row.pvr, flashAnswer)) << std::hex << row.pvr;
    EXPECT_EQ(row.queries, queries) << std::hex << row.pvr;
  }
}

// Without the devices, or with files that open but answer no request (a
// driver that lacks them).
TEST(FlashDevice, MissingOrSilentDevicesAnswerZero) {
  PrivateRoot root;
  for (bool present : {false, true}) {
    if (present) {
      root.write("/dev/flash", "");
      root.write("/dev/mtd0", "");
    }
    EXPECT_TRUE(runInRoot(root, [] {
      EXPECT_EQ(0u, flashMinimumVersion());
      EXPECT_EQ(0u, flashQuery());
      EXPECT_EQ(0u, mtdEraseSize());
      EXPECT_EQ(4, flashKindFor(0x80211000, flashQuery));
    })) << present;
  }
}

}  // namespace
