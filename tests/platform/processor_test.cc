#include "platform/processor.h"

#include <gtest/gtest.h>

#include "platform/flash_device.h"
#include "support/private_root.h"

namespace {

int queries = 0;
uint32_t answerSet() {
  ++queries;
  return 0x10;
}
uint32_t answerClear() {
  ++queries;
  return 0;
}

TEST(FlashKind, TwoRevisionsAskTheFlashDevice) {
  EXPECT_EQ(2, flashKindFor(0x80211000, answerSet));
  EXPECT_EQ(4, flashKindFor(0x802110FF, answerClear));
  EXPECT_EQ(2, flashKindFor(0x80212100, answerSet));
  EXPECT_EQ(4, flashKindFor(0x80212142, answerClear));
  EXPECT_EQ(4, queries);
}

TEST(FlashKind, ProcessorFamilies) {
  queries = 0;
  EXPECT_EQ(2, flashKindFor(0x80201000, answerClear));  // family 0x20, another revision
  EXPECT_EQ(2, flashKindFor(0x00210000, answerClear));
  EXPECT_EQ(0, flashKindFor(0x001F0000, answerClear));
  EXPECT_EQ(0, flashKindFor(0x00220000, answerClear));
  EXPECT_EQ(1, flashKindFor(0x00830000, answerClear));
  EXPECT_EQ(1, flashKindFor(0x80850102, answerClear));
  EXPECT_EQ(0, flashKindFor(0x00860000, answerClear));
  EXPECT_EQ(0, flashKindFor(0x00820000, answerClear));
  EXPECT_EQ(3, flashKindFor(0x13020021, answerClear));
  EXPECT_EQ(0, flashKindFor(0x13030000, answerClear));
  EXPECT_EQ(0, flashKindFor(0, answerClear));
  EXPECT_EQ(0, queries);
}

TEST(FlashKind, ThisMachine) {
#if defined(__powerpc__)
  EXPECT_NE(0u, processorVersion());
#else
  EXPECT_EQ(0u, processorVersion());
  EXPECT_EQ(0, flashKind());
#endif
}

TEST(FlashDevice, MissingDevicesAnswerZero) {
  PrivateRoot root;
  EXPECT_TRUE(runInRoot(root, [] {
    EXPECT_EQ(0u, flashMinimumVersion());
    EXPECT_EQ(0u, flashQuery());
    EXPECT_EQ(0u, mtdEraseSize());
    EXPECT_EQ(4, flashKindFor(0x80211000, flashQuery));
  }));
}

TEST(FlashDevice, FailedRequestsAnswerZero) {
  // Files that open but answer no request, as a driver that lacks them.
  PrivateRoot root;
  root.write("/dev/flash", "");
  root.write("/dev/mtd0", "");
  EXPECT_TRUE(runInRoot(root, [] {
    EXPECT_EQ(0u, flashMinimumVersion());
    EXPECT_EQ(0u, flashQuery());
    EXPECT_EQ(0u, mtdEraseSize());
    EXPECT_EQ(4, flashKindFor(0x80211000, flashQuery));
  }));
}

}  // namespace
