#include "run/command_line.h"

#include <gtest/gtest.h>

namespace {

ParsedCommandLine parse(const std::vector<std::string>& args) {
  testing::internal::CaptureStdout();
  ParsedCommandLine parsed = parseArguments(args);
  testing::internal::GetCapturedStdout();
  return parsed;
}

TEST(CommandLine, ModePrecedenceAndWhereParsingStops) {
  EXPECT_EQ(RunMode::Default, parse({}).settings.mode());
  EXPECT_EQ(RunMode::Stream, parse({"-"}).settings.mode());
  // Parsing stops at "-" and at --cleanup: what follows is not looked at.
  EXPECT_FALSE(parse({"-", "-q"}).settings.quiet);
  EXPECT_EQ(RunMode::Cleanup, parse({"--cleanup", "--show"}).settings.mode());
  EXPECT_EQ(ParseOutcome::Run, parse({"--cleanup", "--bogus"}).outcome);
  EXPECT_EQ(RunMode::Show, parse({"--show", "--cleanup"}).settings.mode());
  EXPECT_EQ(RunMode::Show, parse({"--show", "-"}).settings.mode());
}

TEST(CommandLine, OptionsAndTheirValues) {
  const ParsedCommandLine parsed =
      parse({"-q", "-r", "/a", "-down", "--safe", "-b", "--force", "--noupgrade", "-i", "-r", "/b"});
  EXPECT_EQ(ParseOutcome::Run, parsed.outcome);
  EXPECT_TRUE(parsed.settings.quiet);
  EXPECT_EQ("/b", parsed.settings.root);  // the last -r wins
  EXPECT_EQ(INSTALL_DOWNGRADE, parsed.settings.installFlags);
  EXPECT_FALSE(parsed.settings.applyNow);
  EXPECT_EQ("--safe", parse({"-r", "--safe"}).settings.root);
}

TEST(CommandLine, ActionsEndParsingWhenMet) {
  EXPECT_EQ(ParseOutcome::Usage, parse({"-r"}).outcome);
  EXPECT_EQ(ParseOutcome::Usage, parse({"--Show"}).outcome);
  EXPECT_EQ(ParseOutcome::Usage, parse({"-qq"}).outcome);
  EXPECT_EQ(ParseOutcome::Commit, parse({"-r", "/x", "--commit", "--bogus"}).outcome);
  EXPECT_EQ(ParseOutcome::Cancel, parse({"--cancel", "--commit"}).outcome);
  EXPECT_EQ(ParseOutcome::Usage, parse({"--bogus", "--commit"}).outcome);
}

TEST(CommandLine, ReinstallAnnouncesItselfAtOnce) {
  testing::internal::CaptureStdout();
  const ParsedCommandLine parsed = parseArguments({"-q", "--reinstall", "--nonsense"});
  EXPECT_EQ("\nResuming upgrade...\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ(ParseOutcome::Usage, parsed.outcome);
  EXPECT_EQ(INSTALL_RESUME, parse({"--reinstall"}).settings.installFlags);
}

}  // namespace
