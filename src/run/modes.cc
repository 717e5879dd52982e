#include "run/modes.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/manifest_file.h"
#include "changes/space_check.h"
#include "db/database.h"
#include "db/listing.h"
#include "install/apply_plan.h"
#include "install/cleanup.h"
#include "install/stream_install.h"
#include "install/upgrade_run.h"
#include "pkg/console.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "platform/file_writer.h"
#include "run/post_log.h"

namespace {

const int kNoSpaceStatus = 28;

// Fails the run for lack of space: nothing that was staged is applied.
int refuseForSpace(PackageDb& db, Manifest& manifest) {
  printError(db, "not enough space for upgrade");
  cancelChanges(manifest);
  return kNoSpaceStatus;
}

// Where the copy of the installed package goes: the image of an image
// package, the boot image; otherwise it is not kept.
void placeStreamCopy(Manifest& manifest, const std::string& directory, bool boot) {
  if (!directory.empty()) {
    const std::string target = directory + "image";
    if (boot) {
      stageMove(manifest, PATH_STREAM_IMAGE_SOURCE, PATH_BOOT_IMAGE);
      stageSymlink(manifest, PATH_BOOT_IMAGE, target);
    } else {
      stageMove(manifest, PATH_STREAM_IMAGE_SOURCE, target);
    }
  } else if (boot) {
    stageMove(manifest, PATH_STREAM_IMAGE_SOURCE, PATH_BOOT_IMAGE);
  }
}

// The copy of the package read from standard input is kept only where the
// commit moved it.
void dropStreamCopy() {
  if (fileops::unlink(PATH_STREAM_IMAGE) == 0) fileops::syncDirectory(parentDir(PATH_STREAM_IMAGE).c_str());
}

// Applies the Manifest; what failed is reported, and ends the run with
// status COMMIT_FAILED_STATUS.
int commit(PackageDb& db, Manifest& manifest, bool showProgress = false) {
  const CommitFailures failures = commitChanges(manifest, showProgress);
  return reportCommitFailures(db, failures);
}

// A stream install whose copy did not reach the flash whole: for lack of
// space the upgrade does not fit; any other error is the disk's.
int refuseForCopy(PackageDb& db, Manifest& manifest, const FileWriter& copy) {
  if (copy.error() == ENOSPC) return refuseForSpace(db, manifest);
  printError(db, "could not write %s: %s", PATH_STREAM_IMAGE, strerror(copy.error()));
  cancelChanges(manifest);
  return COMMIT_FAILED_STATUS;
}

// A saved manifest cannot name a path with a space or a line feed: a
// database entry named so cannot be changed by a saved plan. What was asked
// of it is said and dropped, so that it stays whole rather than losing its
// files but not its entry.
void keepUnsavableEntries(PackageDb& db) {
  for (InstalledPackage* package : db.packages) {
    if (package->scheduled == SCHEDULE_NONE || package->name.find_first_of(" \n") == std::string::npos)
      continue;
    printWarning(db, "database entry %s cannot be changed by a saved plan: its name holds a space or a line feed",
                 printable(package->name).c_str());
    package->scheduled = SCHEDULE_NONE;
  }
}

}  // namespace

int reportCommitFailures(PackageDb& db, const CommitFailures& failures) {
  for (const CommitFailure& failure : failures)
    printError(db, "could not %s: %s", failure.action.c_str(), strerror(failure.error));
  return failures.empty() ? 0 : COMMIT_FAILED_STATUS;
}

int runMode(PackageDb& db, const RunSettings& settings) {
  switch (settings.mode()) {
    case RunMode::Show: return showMode(db);
    case RunMode::Cleanup: return cleanupMode(db);
    case RunMode::Stream: return streamMode(db, settings);
    case RunMode::Default: break;
  }
  return defaultMode(db, settings);
}

int showMode(PackageDb& db) {
  showPackages(db);
  return 0;
}

int cleanupMode(PackageDb& db) {
  Manifest manifest;
  stageStaleImageRemovals(db, manifest);
  cleanupRun(db, manifest);
  const int status = commit(db, manifest);
  if (status != 0) writePostLog(db);
  return status;
}

int streamMode(PackageDb& db, const RunSettings& settings) {
  Manifest manifest;
  stageStaleImageRemovals(db, manifest);
  processRequests(db, manifest, REPORT_CHANGES);
  const int fd = fileops::open(PATH_STREAM_IMAGE, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    printf("ERROR: could not open image\n");
    // Nothing is applied: what the requests staged goes, with its files.
    cancelChanges(manifest);
    return -1;
  }
  FileWriter copy(fd);
  const ForcedStates noForcedStates;
  const InstallContext context{db, manifest, settings.installFlags | INSTALL_UPGRADE, noForcedStates,
                               &copy};
  const InstallResult result = installFromStream(context, std::cin);
  int status = result.status;
  const bool copied = copy.finish();
  if (status == 0 && !copied) status = refuseForCopy(db, manifest, copy);
  if (status == 0) {
    // A package passed over as installed already leaves its stored image
    // as it is: the copy holds only what was read before it was passed over.
    if (result.unpacked) placeStreamCopy(manifest, result.imageDirectory, result.boot);
    if (!(settings.installFlags & INSTALL_RESUME) && !checkSpace(manifest))
      status = refuseForSpace(db, manifest);
  }
  if (status == 0)
    status = commit(db, manifest);
  else
    cancelChanges(manifest);
  dropStreamCopy();
  writePostLog(db);
  return status;
}

int defaultMode(PackageDb& db, const RunSettings& settings) {
  Manifest manifest;
  if (!settings.applyNow) keepUnsavableEntries(db);
  stageStaleImageRemovals(db, manifest);
  processRequests(db, manifest, REPORT_CHANGES);
  int status = 0;
  const uint32_t installFlags = settings.installFlags | INSTALL_UPGRADE;
  const UpgradeCandidates candidates = findUpgradeCandidates(db, installFlags);
  // The messages of the previous run stay in the log, before this run's.
  if (!candidates.files.empty()) readPostLog(db);
  upgradeRun(db, manifest, candidates);
  // A run that changes nothing needs no room: a nearly full flash is no
  // reason to report a failed upgrade when there is none.
  if (!(installFlags & INSTALL_RESUME) && !manifest.empty() && !checkSpace(manifest))
    status = refuseForSpace(db, manifest);
  if (!manifest.empty()) {
    createStagedFile(manifest, PATH_PACKAGES_CHANGED, 1, 0).close();
    if (settings.applyNow)
      status = commit(db, manifest);
    else
      status = saveForLater(db, manifest);
  }
  writePostLog(db);
  return status;
}

int saveForLater(PackageDb& db, Manifest& manifest) {
  // A change that the file cannot hold is said and left for a later run;
  // the rest is saved.
  for (const std::string& target : unwritableTargets(manifest))
    printWarning(db, "%s cannot be saved in %s: its path holds a space or a line feed",
                 printable(target).c_str(), PATH_SAVED_MANIFEST);
  if (manifest.failures.empty() && (writeManifest(manifest, PATH_SAVED_MANIFEST) || errno == EINVAL)) return 0;
  const StagingFailure failure =
      manifest.failures.empty() ? StagingFailure{PATH_SAVED_MANIFEST, errno} : manifest.failures.front();
  printError(db, "could not write %s: %s", failure.target.c_str(), strerror(failure.error));
  // Nothing of a plan that was not saved whole is kept.
  fileops::unlink(PATH_SAVED_MANIFEST);
  cancelChanges(manifest);
  return COMMIT_FAILED_STATUS;
}
