#include "install/cleanup.h"

#include "install/apply_plan.h"

namespace {

// A package that depends on a system newer than 3.22 (exclusive of 3.22's
// own builds below this bound) survives cleanup.
const Version kCleanupVersionBound = 0x031665FF;

bool isProtected(const InstalledPackage& package) {
  return package.name == "plix" || package.name == "disk-drivers" || package.name == "system";
}

bool madeForRecentSystem(const InstalledPackage& package) {
  // Any "system" entry with a recent enough minimum keeps it, not only the
  // first one.
  for (const DependencyEntry& entry : package.deps)
    if (entry.name == "system" && entry.min > kCleanupVersionBound) return true;
  return false;
}

}  // namespace

bool cleanupRun(PackageDb& db, Manifest& manifest) {
  processRequests(db, manifest, REPORT_NONE);
  for (InstalledPackage* package : db.packages) {
    if (package->name.empty() || isProtected(*package) || package->isBundle) continue;
    if (!madeForRecentSystem(*package)) package->scheduled = SCHEDULE_UNINSTALL;
  }
  return processRequests(db, manifest, REPORT_CHANGES);
}
