#include "run/entry_point.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>
#include <stdexcept>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/manifest_file.h"
#include "changes/staging_record.h"
#include "db/database.h"
#include "pkg/console.h"
#include "pkg/package_db.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "run/command_line.h"
#include "run/modes.h"
#include "run/post_log.h"

namespace {

bool exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

// The staged files that a saved manifest still needs: those it names that
// are still there.
std::set<std::string> savedSources() {
  Manifest saved;
  readManifest(saved, PATH_SAVED_MANIFEST);
  std::set<std::string> sources;
  for (const auto& [target, change] : saved.entries)
    if (change.kind == CHANGE_MOVE && exists(change.source.c_str())) sources.insert(change.source);
  return sources;
}

// What every start does first: a commit that a cut interrupted is finished,
// and the staged files that a cut run left are deleted. False when the
// commit cannot be finished now: nothing else may be done then.
bool recover(PackageDb& db, int& status) {
  fileops::unlink((std::string(PATH_SAVED_MANIFEST) + ".new").c_str());
  status = reportCommitFailures(db, finishInterruptedCommit());
  sweepStagingLeftovers(savedSources());
  restorePostLog();
  return !exists(PATH_JOURNAL);
}

// Reads the saved manifest as what may lie there: a file that is not a
// regular one, or a change whose path is not one the installer stages (a
// relative path, one that climbs out with "..", one outside /flash, /ram,
// /rw and /tmp), refuses the whole of it with an ERROR, and nothing of it is
// done. A missing file is an empty plan.
bool readSavedPlan(PackageDb& db, Manifest& manifest) {
  struct stat st;
  if (stat(PATH_SAVED_MANIFEST, &st) == 0 && !S_ISREG(st.st_mode)) {
    printError(db, "refusing %s: it is not a regular file", PATH_SAVED_MANIFEST);
    return false;
  }
  readManifest(manifest, PATH_SAVED_MANIFEST);
  std::string offending;
  if (plannedPathsAreSafe(manifest, offending)) return true;
  printError(db, "refusing %s: %s is not a path the installer stages", PATH_SAVED_MANIFEST,
             printable(offending).c_str());
  return false;
}

// Ends a run whose start found an unfinished commit it could not finish, or
// whose saved manifest is refused.
int stopUnrecovered(PackageDb& db, int status) {
  writePostLog(db);
  return status;
}

// --commit: applies the manifest saved by an earlier --safe run, with the
// spinner turning while files are copied. The file stays in place.
int commitSavedManifest(PackageDb& db) {
  int status = 0;
  if (!recover(db, status)) return stopUnrecovered(db, status);
  Manifest manifest;
  if (!readSavedPlan(db, manifest)) return stopUnrecovered(db, COMMIT_FAILED_STATUS);
  printf("finishing install... ");
  fflush(stdout);
  const CommitFailures failures = commitChanges(manifest, true);
  printf("\b \n");
  fflush(stdout);
  if (reportCommitFailures(db, failures) != 0) status = COMMIT_FAILED_STATUS;
  if (status != 0) writePostLog(db);
  return status;
}

// --cancel: drops the saved manifest, with the staged files it names.
int cancelSavedManifest(PackageDb& db) {
  int status = 0;
  if (!recover(db, status)) return stopUnrecovered(db, status);
  Manifest manifest;
  if (!readSavedPlan(db, manifest)) return stopUnrecovered(db, COMMIT_FAILED_STATUS);
  cancelSavedChanges(manifest);
  fileops::unlink(PATH_SAVED_MANIFEST);
  sweepStagingLeftovers({});
  if (status != 0) writePostLog(db);
  return status;
}

std::string systemArchitecture() {
  const char* arch = getenv("arch");
  return arch ? arch : "i386";
}

// Ends a run that an exception stopped (memory ran out, or a length the
// system cannot hold): said with an ERROR line, nothing more is applied, and
// the staged files go, unless a commit was under way: the next start
// finishes it from its journal.
int stopOnException(const char* what) {
  PackageDb& db = packageDb();
  printError(db, "installation stopped: %s", what);
  if (!exists(PATH_JOURNAL)) sweepStagingLeftovers(savedSources());
  writePostLog(db);
  return 1;
}

int runInstaller(int argc, char** argv) {
  PackageDb& db = packageDb();
  const ParsedCommandLine parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (parsed.outcome) {
    case ParseOutcome::Usage:
      printf("%s\n", usageLine);
      return 0;
    case ParseOutcome::Commit:
      return commitSavedManifest(db);
    case ParseOutcome::Cancel:
      return cancelSavedManifest(db);
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
  db.quiet = settings.quiet;
  int recovered = 0;
  if (!recover(db, recovered)) return stopUnrecovered(db, recovered);
  // --show prints the listing and ends: it needs no more of each package.
  loadDatabase(db, settings.quiet, systemArchitecture(),
               settings.mode() == RunMode::Show ? DatabaseLoad::Listing : DatabaseLoad::Full);
  const int status = runMode(db, settings);
  // What the start had to report is kept in the log also by the modes that
  // write none.
  const RunMode mode = settings.mode();
  if (recovered != 0 && (mode == RunMode::Show || (mode == RunMode::Cleanup && status == 0)))
    writePostLog(db);
  sweepStagingLeftovers(savedSources());
  return status != 0 ? status : recovered;
}

}  // namespace

int installerMain(int argc, char** argv) {
  try {
    return runInstaller(argc, argv);
  } catch (const std::bad_alloc&) {
    return stopOnException("out of memory");
  } catch (const std::exception& error) {
    return stopOnException(error.what());
  }
}
