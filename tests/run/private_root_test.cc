// The harness that the other tests rely on to keep away from the host.
#include "support/private_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The body sees the root's directories and files and writes into it; a
// body that fails reaches the test.
TEST(PrivateRootHarness, BodyRunsAgainstTheRootNotTheHost) {
  PrivateRoot root;
  ASSERT_FALSE(root.path().empty());
  root.write("/flash/marker", "inside");
  EXPECT_TRUE(runInRoot(root, [] {
    struct stat info;
    for (const char* dir : {"/flash/boot", "/flash/var/pdb", "/ram/pdb", "/rw/pckg"})
      EXPECT_EQ(0, stat(dir, &info)) << dir;
    std::string text;
    std::ifstream("/flash/marker") >> text;
    EXPECT_EQ("inside", text);
    std::ofstream("/ram/written") << "from the body";
  }));
  EXPECT_EQ("from the body", root.read("/ram/written"));
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
  EXPECT_EQ(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 1 : 4, *reinterpret_cast<const unsigned char*>(&word));
}

}  // namespace
