#include "install/stream_install.h"

#include <memory>
#include <set>

#include "changes/package_removal.h"
#include "db/database.h"
#include "install/apply_plan.h"
#include "install/unpack.h"
#include "pkg/console.h"
#include "pkgfile/package_info.h"
#include "pkgfile/part_type.h"
#include "platform/boot_image.h"
#include "resolve/candidate.h"

namespace {

// Takes the record out of the package list, without destroying it.
void takeOutOfList(PackageDb& db, const InstalledPackage* package) {
  for (auto it = db.packages.begin(); it != db.packages.end(); ++it) {
    if (*it == package) {
      db.packages.erase(it);
      return;
    }
  }
}

// The same version is installed and the run resumes: the installed record
// counts as done and is reported as installed.
InstalledPackage* reportResumed(PackageDb& db, const InstalledPackage& incoming, bool* bootOut) {
  showStatus(db, std::string(78, ' '));
  showStatus(db, "");
  printNotice(db, "installed %s%s", incoming.disabled ? "(disabled) " : "",
              incoming.displayName().c_str());
  InstalledPackage* installed = db.lookupByName(incoming.name);
  if (bootOut && installed) *bootOut = (installed->flags & PF_BOOT) != 0;
  return installed;
}

// Passes over the rest of a bundle member that is not installed.
void skipMember(PackageReader& reader) {
  while (reader && reader.currentType() != PackageHeader) reader.nextPart();
}

void addBundleListPlaceholders(PackageDb& db, PackageReader& reader, const ForcedStates& forcedStates) {
  std::vector<DependencyEntry> listed;
  readRefList(reader, listed);
  for (const DependencyEntry& entry : listed) {
    if (forcedStates.count(entry.name)) continue;
    // A record that conflicts with the member makes it install disabled.
    InstalledPackage* placeholder = new InstalledPackage("");
    placeholder->conflicts.push_back(DependencyEntry{entry.name, 0, 0, 0});
    db.packages.push_back(placeholder);
  }
}

std::set<std::string> currentMembers(const PackageDb& db, const std::string& bundleName) {
  std::set<std::string> names;
  for (const InstalledPackage* package : db.packages)
    if (!package->name.empty() && package->bundle.name == bundleName) names.insert(package->name);
  return names;
}

// Installs the members that follow; returns 0, 2 for a failed member or 3
// when there is none.
int installMembers(PackageDb& db, Manifest& manifest, PackageReader& reader, uint32_t installFlags,
                   const ForcedStates& forcedStates, const DependencyEntry& ref,
                   std::set<std::string>& previous, bool* bootOut) {
  int count = 0;
  while (reader.currentType() == PackageHeader) {
    bool memberBoot = false;
    InstalledPackage* member = installSinglePackage(db, manifest, reader, installFlags, forcedStates,
                                                    &ref, nullptr, &memberBoot);
    if (!member) return 2;
    ++count;
    previous.erase(member->name);
    if (bootOut && memberBoot) *bootOut = true;
  }
  if (reader.currentType() == Architecture) reader.nextPart();
  if (reader.currentType() != -1) return 2;
  return count == 0 ? 3 : 0;
}

}  // namespace

int installFromStream(PackageDb& db, Manifest& manifest, std::istream& in, uint32_t installFlags,
                      const ForcedStates& forcedStates, std::streambuf* copyTarget,
                      std::string* directoryOut, bool* bootOut) {
  PackageReader reader(in, true, copyTarget);
  reader.wantedTypes = PARTS_STREAM_INSTALL;
  reader.nextPart();
  if (reader.currentType() == BundleHeader)
    return installBundle(db, manifest, reader, installFlags, forcedStates, directoryOut, bootOut);
  return installSinglePackage(db, manifest, reader, installFlags, forcedStates, nullptr, directoryOut,
                              bootOut)
             ? 0
             : 1;
}

InstalledPackage* installSinglePackage(PackageDb& db, Manifest& manifest, PackageReader& reader,
                                       uint32_t installFlags, const ForcedStates& forcedStates,
                                       const DependencyEntry* bundleRef, std::string* directoryOut,
                                       bool* bootOut) {
  std::unique_ptr<InstalledPackage> package(new InstalledPackage(""));
  if (!readPackageInfo(*package, reader)) return nullptr;
  if (bundleRef && namesMatch(package->name, bundleRef->name)) return nullptr;
  if (package->isImage && directoryOut) *directoryOut = package->dbDir();

  uint32_t result = chooseCandidate(db, *package, bundleRef ? ACCEPT_EVERYTHING : installFlags | CONFLICTS);
  const auto forced = forcedStates.find(package->name);
  if (forced != forcedStates.end()) {
    package->disabled = forced->second;
    package->userForced = true;
  } else {
    package->disabled = false;
  }
  if (result & CONFLICTS) {
    result &= ~CONFLICTS;
    package->disabled = true;
  }

  const uint32_t refused = result & (~installFlags | SAME_INSTALLED);
  if (refused) {
    if (bundleRef) {
      skipMember(reader);
      return db.lookupByName(package->name);
    }
    if ((result & SAME_INSTALLED) && (installFlags & INSTALL_RESUME))
      return reportResumed(db, *package, bootOut);
    if (result & SAME_INSTALLED) return db.lookupByName(package->name);
    return nullptr;
  }

  if (bundleRef) package->bundle = *bundleRef;
  if (!reader.isUntracked()) {
    if (InstalledPackage* replaced = db.lookupByName(package->name)) {
      removePackageFiles(*replaced, manifest);
      takeOutOfList(db, replaced);
      delete replaced;
    }
  }
  const InstallFailure failure = installFromReader(db, *package, manifest, reader);
  if (failure.failed()) {
    reportInstallFailure(db, *package, failure);
    return nullptr;
  }
  InstalledPackage* installed = package.release();
  db.packages.push_back(installed);
  processRequests(db, manifest, REPORT_NONE);
  if (bootOut) *bootOut = (installed->flags & PF_BOOT) && bootImageRequested();
  return installed;
}

int installBundle(PackageDb& db, Manifest& manifest, PackageReader& reader, uint32_t installFlags,
                  const ForcedStates& forcedStates, std::string* directoryOut, bool* bootOut) {
  if (bootOut) *bootOut = false;
  std::unique_ptr<InstalledPackage> bundle(new InstalledPackage(""));
  if (!readPackageInfo(*bundle, reader)) return 1;
  if (!bundle->deps.empty() || !bundle->provides.empty() || !bundle->conflicts.empty()) return 1;
  if (reader.currentType() == Image) reader.nextPart();
  if (bundle->isImage && directoryOut) *directoryOut = bundle->dbDir();

  const uint32_t result = chooseCandidate(db, *bundle, installFlags);
  if (result & ~installFlags) return 2;
  uninstallByName(db, manifest, bundle->name);
  const InstallFailure failure = saveIntoFreshDirectory(*bundle, manifest);
  if (failure.failed()) {
    reportInstallFailure(db, *bundle, failure);
    return 1;
  }

  const DependencyEntry ref{bundle->name, bundle->version, bundle->version, 0};
  if (InstalledPackage* stale = db.lookupByName(bundle->name)) {
    takeOutOfList(db, stale);
    delete stale;
  }
  db.packages.push_back(bundle.release());

  std::set<std::string> previous = currentMembers(db, ref.name);
  if (reader.currentType() == BundleList) {
    addBundleListPlaceholders(db, reader, forcedStates);
    reader.nextPart();
  }
  const int status =
      installMembers(db, manifest, reader, installFlags, forcedStates, ref, previous, bootOut);
  if (status != 0) return status;

  // Members that the new bundle no longer holds leave with this pass.
  for (const std::string& name : previous)
    if (InstalledPackage* gone = db.lookupByName(name)) gone->scheduled = SCHEDULE_UNINSTALL;
  processRequests(db, manifest, REPORT_NONE);
  showStatus(db, "");
  printNotice(db, "installed %s", (ref.name + "-" + versionText(ref.min)).c_str());
  return 0;
}
