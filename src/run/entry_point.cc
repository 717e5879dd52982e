#include "run/entry_point.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/manifest_file.h"
#include "db/database.h"
#include "pkg/package_db.h"
#include "pkg/paths.h"
#include "run/command_line.h"
#include "run/modes.h"

namespace {

// --commit: applies the manifest saved by an earlier --safe run, with the
// spinner turning while files are copied. The file stays in place.
int commitSavedManifest() {
  Manifest manifest;
  readManifest(manifest, PATH_SAVED_MANIFEST);
  printf("finishing install... ");
  fflush(stdout);
  commitChanges(manifest, true);
  printf("\b \n");
  fflush(stdout);
  return 0;
}

// --cancel: drops the saved manifest, with the staged files it names.
int cancelSavedManifest() {
  Manifest manifest;
  readManifest(manifest, PATH_SAVED_MANIFEST);
  cancelSavedChanges(manifest);
  unlink(PATH_SAVED_MANIFEST);
  return 0;
}

std::string systemArchitecture() {
  const char* arch = getenv("arch");
  return arch ? arch : "i386";
}

}  // namespace

int installerMain(int argc, char** argv) {
  PackageDb& db = packageDb();
  const ParsedCommandLine parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (parsed.outcome) {
    case ParseOutcome::Usage:
      printf("%s\n", usageLine);
      return 0;
    case ParseOutcome::Commit:
      return commitSavedManifest();
    case ParseOutcome::Cancel:
      return cancelSavedManifest();
    case ParseOutcome::Run:
      break;
  }
  const RunSettings& settings = parsed.settings;
  // Going on in the current root would change the system the installer runs
  // on instead of the one it was pointed at.
  if (!settings.root.empty() && chroot(settings.root.c_str()) != 0) {
    perror("chroot");
    return 1;
  }
  if (chdir("/") != 0) {
    // The working directory only matters for relative paths, which the
    // installer does not use.
  }
  // --show prints the listing and ends: it needs no more of each package.
  loadDatabase(db, settings.quiet, systemArchitecture(),
               settings.mode() == RunMode::Show ? DatabaseLoad::Listing : DatabaseLoad::Full);
  return runMode(db, settings);
}
