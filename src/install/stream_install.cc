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
void reportResumed(PackageDb& db, const InstalledPackage& incoming, InstallResult& result) {
  showStatus(db, std::string(78, ' '));
  showStatus(db, "");
  printNotice(db, "installed %s%s", incoming.disabled ? "(disabled) " : "",
              incoming.displayName().c_str());
  result.installed = db.lookupByName(incoming.name);
  if (result.installed) result.boot = (result.installed->flags & PF_BOOT) != 0;
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
// when there is none. Sets boot when a member was installed as the boot
// image.
int installMembers(const InstallContext& context, PackageReader& reader, const DependencyEntry& ref,
                   std::set<std::string>& previous, bool& boot) {
  int count = 0;
  while (reader.currentType() == PackageHeader) {
    const InstallResult member = installSinglePackage(context, reader, &ref);
    if (!member.installed) return 2;
    ++count;
    previous.erase(member.installed->name);
    if (member.boot) boot = true;
  }
  if (reader.currentType() == Architecture) reader.nextPart();
  if (reader.currentType() != -1) return 2;
  return count == 0 ? 3 : 0;
}

}  // namespace

InstallResult installFromStream(const InstallContext& context, std::istream& in) {
  PackageReader reader(in, true, context.copyTarget);
  reader.wantedTypes = PARTS_STREAM_INSTALL;
  reader.nextPart();
  if (reader.currentType() == BundleHeader) return installBundle(context, reader);
  return installSinglePackage(context, reader, nullptr);
}

InstallResult installSinglePackage(const InstallContext& context, PackageReader& reader,
                                   const DependencyEntry* bundleRef) {
  PackageDb& db = context.db;
  const uint32_t installFlags = context.installFlags;
  InstallResult result;
  result.status = 1;
  std::unique_ptr<InstalledPackage> package(new InstalledPackage(""));
  if (!readPackageInfo(*package, reader)) return result;
  if (bundleRef && namesMatch(package->name, bundleRef->name)) return result;
  if (package->isImage) result.imageDirectory = package->dbDir();

  uint32_t verdict =
      chooseCandidate(db, *package, bundleRef ? ACCEPT_EVERYTHING : installFlags | CONFLICTS);
  const auto forced = context.forcedStates.find(package->name);
  if (forced != context.forcedStates.end()) {
    package->disabled = forced->second;
    package->userForced = true;
  } else {
    package->disabled = false;
  }
  if (verdict & CONFLICTS) {
    verdict &= ~CONFLICTS;
    package->disabled = true;
  }

  const uint32_t refused = verdict & (~installFlags | SAME_INSTALLED);
  if (refused) {
    if (bundleRef) {
      skipMember(reader);
      result.installed = db.lookupByName(package->name);
    } else if ((verdict & SAME_INSTALLED) && (installFlags & INSTALL_RESUME)) {
      reportResumed(db, *package, result);
    } else if (verdict & SAME_INSTALLED) {
      result.installed = db.lookupByName(package->name);
    }
    if (result.installed) result.status = 0;
    return result;
  }

  if (bundleRef) package->bundle = *bundleRef;
  if (!reader.isUntracked()) {
    if (InstalledPackage* replaced = db.lookupByName(package->name)) {
      removePackageFiles(*replaced, context.manifest);
      takeOutOfList(db, replaced);
      delete replaced;
    }
  }
  const InstallFailure failure = installFromReader(context, *package, reader);
  if (failure.failed()) {
    reportInstallFailure(db, *package, failure);
    return result;
  }
  result.installed = package.release();
  result.status = 0;
  result.unpacked = true;
  db.packages.push_back(result.installed);
  processRequests(db, context.manifest, REPORT_NONE);
  result.boot = (result.installed->flags & PF_BOOT) && bootImageRequested();
  return result;
}

InstallResult installBundle(const InstallContext& context, PackageReader& reader) {
  PackageDb& db = context.db;
  InstallResult result;
  result.status = 1;
  std::unique_ptr<InstalledPackage> bundle(new InstalledPackage(""));
  if (!readPackageInfo(*bundle, reader)) return result;
  if (!bundle->deps.empty() || !bundle->provides.empty() || !bundle->conflicts.empty()) return result;
  if (reader.currentType() == Image) reader.nextPart();
  if (bundle->isImage) result.imageDirectory = bundle->dbDir();

  const uint32_t verdict = chooseCandidate(db, *bundle, context.installFlags);
  if (const uint32_t refused = verdict & ~context.installFlags) {
    result.status = 2;
    result.sameInstalled = refused == SAME_INSTALLED;
    return result;
  }
  uninstallByName(db, context.manifest, bundle->name);
  const InstallFailure failure = saveIntoFreshDirectory(*bundle, context.manifest);
  if (failure.failed()) {
    reportInstallFailure(db, *bundle, failure);
    return result;
  }

  const DependencyEntry ref{bundle->name, bundle->version, bundle->version, 0};
  if (InstalledPackage* stale = db.lookupByName(bundle->name)) {
    takeOutOfList(db, stale);
    delete stale;
  }
  db.packages.push_back(bundle.release());

  std::set<std::string> previous = currentMembers(db, ref.name);
  if (reader.currentType() == BundleList) {
    addBundleListPlaceholders(db, reader, context.forcedStates);
    reader.nextPart();
  }
  result.status = installMembers(context, reader, ref, previous, result.boot);
  if (result.status != 0) return result;
  result.unpacked = true;

  // Members that the new bundle no longer holds leave with this pass.
  for (const std::string& name : previous)
    if (InstalledPackage* gone = db.lookupByName(name)) gone->scheduled = SCHEDULE_UNINSTALL;
  processRequests(db, context.manifest, REPORT_NONE);
  showStatus(db, "");
  printNotice(db, "installed %s", (ref.name + "-" + versionText(ref.min)).c_str());
  return result;
}
