#include "build_command.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "command_options.h"
#include "description.h"
#include "package_build.h"

namespace {

const char kUsage[] =
    "usage: pkgtool build [-o FILE] [-k KEYS] [-s none|legacy|eddsa|both] DESCRIPTION\n";

int usageError(const std::string& error) {
  if (!error.empty()) fprintf(stderr, "pkgtool build: %s\n", error.c_str());
  fputs(kUsage, stderr);
  return 2;
}

// SOURCE_DATE_EPOCH, for reproducible builds, else now.
uint32_t defaultBuildTime() {
  const char* epoch = getenv("SOURCE_DATE_EPOCH");
  if (epoch && *epoch) {
    char* end = nullptr;
    const unsigned long long value = strtoull(epoch, &end, 10);
    if (*end == '\0' && value <= 0xFFFFFFFFull) return uint32_t(value);
  }
  return uint32_t(time(nullptr));
}

std::string defaultOutput(const PackageDescription& description) {
  return description.name + "-" + versionText(description.version) + ".npk";
}

}  // namespace

int runBuild(const std::vector<std::string>& args) {
  CommandOptions options;
  std::string error;
  const std::vector<OptionRule> rules = {
      {"-o", "--output", true}, {"-k", "--keys", true}, {"-s", "--sign", true}};
  if (!parseCommandOptions(args, rules, options, error)) return usageError(error);
  if (options.operands.size() != 1) return usageError("one description file is needed");

  BuildOptions build;
  if (options.has("--sign") && !parseSigningMode(options.values["--sign"], build.signing))
    return usageError("--sign: '" + options.values["--sign"] +
                      "' is none of none, legacy, eddsa, both");
  build.keyFile = options.has("--keys") ? options.values["--keys"] : "";

  PackageDescription description;
  if (!readDescription(options.operands[0], defaultBuildTime(), description, error)) {
    fprintf(stderr, "pkgtool build: %s\n", error.c_str());
    return 1;
  }
  build.output = options.has("--output") ? options.values["--output"] : defaultOutput(description);
  if (!buildPackage(description, build, error)) {
    fprintf(stderr, "pkgtool build: %s\n", error.c_str());
    return 1;
  }
  printf("built %s\n", build.output.c_str());
  return 0;
}
