#include "changes/cancel.h"

#include "changes/staging_record.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"

namespace {

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The directories in which temporary files are made for a target: RAM, and
// every directory above the target.
bool isStagingDirectory(const std::string& directory, const std::string& target) {
  if (directory == PATH_RAM || directory == PATH_TMP) return true;
  for (std::string above = parentDir(target);; above = parentDir(above)) {
    if (above == directory) return true;
    if (above == "/" || above == ".") return false;
  }
}

bool isStagedTemporaryFile(const std::string& target, const Change& change) {
  if (change.kind == CHANGE_TEMP) return true;
  if (change.kind != CHANGE_MOVE) return false;
  const size_t slash = change.source.rfind('/');
  if (slash == std::string::npos || !isTemporaryName(baseName(change.source))) return false;
  const std::string directory = slash == 0 ? "/" : change.source.substr(0, slash);
  return isStagingDirectory(directory, target);
}

}  // namespace

void cancelChanges(Manifest& manifest) {
  for (const auto& [target, change] : manifest.entries)
    if (change.kind == CHANGE_TEMP) fileops::unlink(change.source.c_str());
  manifest.entries.clear();
  manifest.failures.clear();
}

void cancelSavedChanges(Manifest& manifest) {
  for (const auto& [target, change] : manifest.entries)
    if (isStagedTemporaryFile(target, change)) fileops::unlink(change.source.c_str());
  manifest.entries.clear();
  manifest.failures.clear();
}
