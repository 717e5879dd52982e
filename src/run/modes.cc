#include "run/modes.h"

#include <cstdio>

#include "changes/cancel.h"
#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/manifest_file.h"
#include "changes/space_check.h"
#include "pkg/console.h"
#include "pkg/listing.h"

namespace {

const char kSavedManifest[] = "/ram/MANIFEST";
const char kStreamImage[] = "/flash/var/pdb//image";

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

int cleanupMode(PackageDb&) {
  Manifest manifest;
  commitChanges(manifest, "", false);
  return 0;
}

int streamMode(PackageDb&, const RunSettings&) {
  Manifest manifest;
  FILE* image = fopen(kStreamImage, "wb");
  if (!image) {
    printf("ERROR: could not open image\n");
    return -1;
  }
  fclose(image);
  commitChanges(manifest, "", false);
  return 0;
}

int defaultMode(PackageDb& db, const RunSettings& settings) {
  Manifest manifest;
  int status = 0;
  const uint32_t installFlags = settings.installFlags | INSTALL_UPGRADE;
  if (!(installFlags & INSTALL_RESUME) && !checkSpace(manifest)) {
    printError(db, "not enough space for upgrade");
    cancelChanges(manifest);
    status = 28;
  }
  if (!manifest.empty()) {
    createStagedFile(manifest, "/flash/PCKGS_CHANGED", 1, 0).close();
    if (settings.applyNow)
      commitChanges(manifest, "", false);
    else
      writeManifest(manifest, kSavedManifest);
  }
  return status;
}
