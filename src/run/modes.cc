#include "run/modes.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/manifest_file.h"
#include "changes/space_check.h"
#include "db/listing.h"
#include "install/apply_plan.h"
#include "install/cleanup.h"
#include "install/stream_install.h"
#include "install/upgrade_run.h"
#include "pkg/console.h"
#include "pkg/paths.h"
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
  } else {
    stageRemove(manifest, PATH_STREAM_IMAGE);
  }
}

// The file that receives the copy of the package read from standard input.
// It is written directly, not staged, so a write that fails (a full flash)
// is remembered: a copy that did not reach the flash whole must not be
// placed.
class CopyFile : public std::streambuf {
 public:
  bool open(const char* path) {
    return file_.open(path, std::ios::out | std::ios::binary | std::ios::trunc) != nullptr;
  }
  // False when any byte was lost.
  bool close() { return file_.close() != nullptr && !failed_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof()) &&
        traits_type::eq_int_type(file_.sputc(traits_type::to_char_type(c)), traits_type::eof()))
      failed_ = true;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    if (file_.sputn(bytes, count) != count) failed_ = true;
    return count;
  }

 private:
  std::filebuf file_;
  bool failed_ = false;
};

}  // namespace

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
  cleanupRun(db, manifest);
  commitChanges(manifest, false);
  return 0;
}

int streamMode(PackageDb& db, const RunSettings& settings) {
  Manifest manifest;
  processRequests(db, manifest, REPORT_CHANGES);
  CopyFile image;
  if (!image.open(PATH_STREAM_IMAGE)) {
    printf("ERROR: could not open image\n");
    // Nothing is applied: what the requests staged goes, with its files.
    cancelChanges(manifest);
    return -1;
  }
  const ForcedStates noForcedStates;
  const InstallContext context{db, manifest, settings.installFlags | INSTALL_UPGRADE, noForcedStates,
                               &image};
  const InstallResult result = installFromStream(context, std::cin);
  int status = result.status;
  const bool copied = image.close();
  if (status == 0 && !copied) status = refuseForSpace(db, manifest);
  if (status == 0) {
    placeStreamCopy(manifest, result.imageDirectory, result.boot);
    if (!(settings.installFlags & INSTALL_RESUME) && !checkSpace(manifest))
      status = refuseForSpace(db, manifest);
  }
  if (status == 0) {
    commitChanges(manifest, false);
  } else {
    cancelChanges(manifest);
    remove(PATH_STREAM_IMAGE);
  }
  writePostLog(db);
  return status;
}

int defaultMode(PackageDb& db, const RunSettings& settings) {
  Manifest manifest;
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
      commitChanges(manifest, false);
    else
      writeManifest(manifest, PATH_SAVED_MANIFEST);
  }
  writePostLog(db);
  return status;
}
