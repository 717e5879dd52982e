// The command line of the installer: options, the usage line and the choice
// of run mode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bits of installFlags: the verdicts of a candidate judgement that a run
// accepts.
constexpr uint32_t INSTALL_UPGRADE = 0x01;
constexpr uint32_t INSTALL_DOWNGRADE = 0x02;
constexpr uint32_t INSTALL_RESUME = 0x20;

enum class RunMode { Default, Show, Cleanup, Stream };

// What parsing decided: run a mode, or one of the actions that end the run
// as soon as they are met.
enum class ParseOutcome { Run, Usage, Commit, Cancel };

struct RunSettings {
  bool cleanup = false;
  bool stream = false;
  bool show = false;
  bool quiet = false;
  uint32_t installFlags = 0;
  bool applyNow = true;
  std::string root;

  RunMode mode() const;
};

struct ParsedCommandLine {
  ParseOutcome outcome = ParseOutcome::Run;
  RunSettings settings;
};

// Examines the arguments one by one, as a whole string each. --reinstall
// prints its "Resuming upgrade..." line as it is met.
ParsedCommandLine parseArguments(const std::vector<std::string>& args);

extern const char* const usageLine;
