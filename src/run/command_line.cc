#include "run/command_line.h"

#include <cstdio>

const char* const usageLine = "usage: installer [-q] [-r <root>] [-]";

RunMode RunSettings::mode() const {
  if (show) return RunMode::Show;
  if (cleanup) return RunMode::Cleanup;
  if (stream) return RunMode::Stream;
  return RunMode::Default;
}

namespace {

bool isIgnoredOption(const std::string& arg) {
  return arg == "-b" || arg == "--force" || arg == "--noupgrade" || arg == "-i";
}

}  // namespace

ParsedCommandLine parseArguments(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  RunSettings& settings = parsed.settings;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--cleanup") {
      settings.cleanup = true;
      break;
    } else if (arg == "-") {
      settings.stream = true;
      break;
    } else if (arg == "--safe") {
      settings.applyNow = false;
    } else if (arg == "-r" && i + 1 < args.size()) {
      settings.root = args[++i];
    } else if (arg == "-q") {
      settings.quiet = true;
    } else if (arg == "-down") {
      settings.installFlags |= INSTALL_DOWNGRADE;
    } else if (arg == "--reinstall") {
      printf("\nResuming upgrade...\n");
      fflush(stdout);
      settings.installFlags |= INSTALL_RESUME;
    } else if (isIgnoredOption(arg)) {
    } else if (arg == "--commit") {
      parsed.outcome = ParseOutcome::Commit;
      return parsed;
    } else if (arg == "--cancel") {
      parsed.outcome = ParseOutcome::Cancel;
      return parsed;
    } else if (arg == "--show") {
      settings.show = true;
    } else {
      parsed.outcome = ParseOutcome::Usage;
      return parsed;
    }
  }
  return parsed;
}
