#include "changes/cancel.h"

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
  for (const auto& [target, change] : manifest.entries)
    if (change.kind == CHANGE_TEMP || isStagedFor(change, target)) fileops::unlink(change.source.c_str());
  manifest.entries.clear();
  manifest.failures.clear();
}
