#include "install/apply_plan.h"

#include <algorithm>

#include "changes/package_removal.h"
#include "db/database.h"
#include "pkg/console.h"

namespace {

void takeOutOfList(PackageDb& db, const InstalledPackage* package) {
  PackageList& packages = db.packages;
  packages.erase(std::remove(packages.begin(), packages.end(), package), packages.end());
}

void disable(PackageDb& db, Manifest& manifest, InstalledPackage& package, int report) {
  const std::string name = package.displayName();
  if (report >= REPORT_CHANGES) showStatus(db, "disabling " + name + "...");
  markDisabled(package, manifest);
  if (report >= REPORT_CHANGES) printNotice(db, "disabled %s", name.c_str());
}

void uninstall(PackageDb& db, Manifest& manifest, InstalledPackage* package, int report) {
  const std::string name = package->displayName();
  if (report >= REPORT_ALL) showStatus(db, "uninstalling " + name + "...");
  removePackageFiles(*package, manifest);
  takeOutOfList(db, package);
  if (report >= REPORT_ALL) printNotice(db, "uninstalled %s", name.c_str());
  delete package;
}

}  // namespace

bool processRequests(PackageDb& db, Manifest& manifest, int report) {
  PackageList removals, enables;
  if (!resolveRequests(db, removals, enables, report)) return false;
  applyRemovals(db, manifest, removals, report);
  applyEnables(db, manifest, enables, report);
  return !removals.empty() || !enables.empty();
}

void applyRemovals(PackageDb& db, Manifest& manifest, const PackageList& removals, int report) {
  for (InstalledPackage* package : removals) {
    if (package->isPlaceholder()) continue;
    if (package->scheduled == SCHEDULE_UNINSTALL)
      uninstall(db, manifest, package, report);
    else
      disable(db, manifest, *package, report);
  }
}

void applyEnables(PackageDb& db, Manifest& manifest, const PackageList& enables, int report) {
  for (InstalledPackage* package : enables) {
    if (package->isPlaceholder()) continue;
    const std::string name = package->displayName();
    if (report >= REPORT_CHANGES) showStatus(db, "enabling " + name + "...");
    markEnabled(*package, manifest);
    if (report >= REPORT_CHANGES) printNotice(db, "enabled %s", name.c_str());
  }
}

bool uninstallByName(PackageDb& db, Manifest& manifest, const std::string& name) {
  InstalledPackage* package = db.lookupByName(name);
  if (!package) return false;
  removePackageFiles(*package, manifest);
  takeOutOfList(db, package);
  delete package;
  return true;
}
