// The command line of the installer: options, the usage line and the choice
// of run mode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resolve/candidate.h"

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
