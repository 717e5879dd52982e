#include "changes/cancel.h"

#include "changes/staging_places.h"
#include "changes/staging_record.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"

void cancelChanges(Manifest& manifest) {
  for (const auto& [target, change] : manifest.entries)
    if (change.kind == CHANGE_TEMP) fileops::unlink(change.source.c_str());
  manifest.entries.clear();
  manifest.failures.clear();
}

void cancelSavedChanges(Manifest& manifest) {
  // Only a file in the places that the installer stages in can be one of
  // its staged files: a directory above the target may be "/".
  for (const auto& [target, change] : manifest.entries)
    if (change.kind == CHANGE_TEMP || (isStagedFor(change, target) && isBelowStagingPlace(change.source)))
      fileops::unlink(change.source.c_str());
  manifest.entries.clear();
  manifest.failures.clear();
}
