// The harness that the other tests rely on to keep away from the host.
#include "support/private_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(PrivateRootHarness, BodyRunsAgainstTheRootNotTheHost) {
  PrivateRoot root;
  ASSERT_FALSE(root.path().empty());
  root.write("/flash/marker", "inside");
  EXPECT_TRUE(runInRoot(root, [] {
    struct stat info;
    EXPECT_EQ(0, stat("/flash/boot", &info));
    EXPECT_EQ(0, stat("/ram/pdb", &info));
    EXPECT_EQ(0, stat("/rw/pckg", &info));
    std::ifstream marker("/flash/marker");
    std::string text;
    marker >> text;
    EXPECT_EQ("inside", text);
    std::ofstream("/ram/written") << "from the body";
  }));
  EXPECT_EQ("from the body", root.read("/ram/written"));
}

TEST(PrivateRootHarness, FailuresInTheBodyReachTheTest) {
  PrivateRoot root;
  EXPECT_FALSE(runInRoot(root, [] { _exit(3); }));
}

TEST(TargetByteOrder, Reported) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const char* order = "big-endian";
#else
  const char* order = "little-endian";
#endif
  const char* emulator = TEST_EMULATOR;
  printf("byte order: %s, %zu-bit, %s\n", order, sizeof(void*) * 8,
         *emulator ? "cross build under emulation" : "native build");
  // A cross build that silently ran on the host would not be big-endian.
  if (*emulator) {
    EXPECT_STREQ("big-endian", order);
  }
  const uint32_t word = 0x01020304;
  const unsigned char first = *reinterpret_cast<const unsigned char*>(&word);
  EXPECT_EQ(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 1 : 4, first);
}

}  // namespace
