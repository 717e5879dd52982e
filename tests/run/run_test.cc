// The installer's arguments, and the harness that the other tests rely on.
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

// A body runs in the root; one that fails reaches the test.
TEST(PrivateRootHarness, BodyRunsInTheRootAndItsFailureReachesTheTest) {
  PrivateRoot root;
  EXPECT_TRUE(runInRoot(root, [] { std::ofstream("/ram/written") << "from the body"; }));
  EXPECT_EQ("from the body", root.read("/ram/written"));
  EXPECT_FALSE(runInRoot(root, [] { _exit(3); }));
}

// A cross build that silently ran on the host would not be big-endian.
TEST(TargetByteOrder, Reported) {
  const bool big = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__, emulated = *TEST_EMULATOR;
  printf("byte order: %s, %zu-bit, %s\n", big ? "big-endian" : "little-endian", sizeof(void*) * 8,
         emulated ? "cross build under emulation" : "native build");
  EXPECT_TRUE(big || !emulated);
}

}  // namespace
