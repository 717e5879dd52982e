// The installer's arguments, and the harness that the other tests rely on.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "run/command_line.h"
#include "support/private_root.h"

namespace {

// The outcome, the mode and the settings, and what parsing printed.
std::string parsed(const std::vector<std::string>& args) {
  testing::internal::CaptureStdout();
  const ParsedCommandLine p = parseArguments(args);
  const std::string printed = testing::internal::GetCapturedStdout();
  const char* const outcomes[] = {"run", "usage", "commit", "cancel"};
  const char* const modes[] = {"default", "show", "cleanup", "stream"};
  const RunSettings& s = p.settings;
  return std::string(outcomes[int(p.outcome)]) + " " + modes[int(s.mode())] + (s.quiet ? " quiet" : "") +
         (s.root.empty() ? "" : " root=" + s.root) + " flags=" + std::to_string(s.installFlags) +
         (s.applyNow ? "" : " safe") + printed;
}

// --show wins over --cleanup, which wins over "-"; parsing stops at "-" and
// at --cleanup, and at --commit, --cancel and what is not an argument; the
// last -r wins; --reinstall announces itself at once.
TEST(CommandLine, ModesSettingsAndWhereParsingStops) {
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } rows[] = {
      {{}, "run default flags=0"},
      {{"-", "-q"}, "run stream flags=0"},
      {{"--cleanup", "--show"}, "run cleanup flags=0"},
      {{"--cleanup", "--bogus"}, "run cleanup flags=0"},
      {{"--show", "--cleanup"}, "run show flags=0"},
      {{"--show", "-"}, "run show flags=0"},
      {{"-q", "-r", "/a", "-down", "--safe", "-b", "--force", "--noupgrade", "-i", "-r", "/b"},
       "run default quiet root=/b flags=" + std::to_string(INSTALL_DOWNGRADE) + " safe"},
      {{"-r", "--safe"}, "run default root=--safe flags=0"},
      {{"--reinstall"}, "run default flags=" + std::to_string(INSTALL_RESUME) + "\nResuming upgrade...\n"},
      {{"-q", "--reinstall", "--nonsense"}, "usage default quiet flags=" + std::to_string(INSTALL_RESUME) +
                                                "\nResuming upgrade...\n"},
      {{"-r"}, "usage default flags=0"},
      {{"--Show"}, "usage default flags=0"},
      {{"-qq"}, "usage default flags=0"},
      {{"--bogus", "--commit"}, "usage default flags=0"},
      {{"-r", "/x", "--commit", "--bogus"}, "commit default root=/x flags=0"},
      {{"--cancel", "--commit"}, "cancel default flags=0"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.expected, parsed(row.args)) << row.expected;
}

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
