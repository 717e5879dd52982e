#include "install/upgrade_run.h"

#include <sys/stat.h>

#include <memory>
#include <sstream>
#include <set>
#include <vector>

#include "changes/cancel.h"
#include "install/apply_plan.h"
#include "install/download_scan.h"
#include "install/stream_install.h"
#include "pkg/console.h"
#include "pkg/paths.h"
#include "pkgfile/file_source.h"
#include "platform/regular_file.h"
#include "resolve/candidate.h"
#include "resolve/providers.h"

namespace {

const char* const kPackageDirectories[] = {PATH_DOWNLOAD_DIR, PATH_FLASH_PACKAGES_DIR,
                                           PATH_SYSTEM_PACKAGES_DIR};

using Candidates = std::vector<std::unique_ptr<PackageFile>>;

// No floor without the marker; with it, downgrades are allowed and the
// number it holds (0 when none) is the lowest version accepted. A marker
// that is no regular file, or too large to be one, still allows them; what
// it holds is not read.
uint32_t readDowngradeLimit(PackageDb& db, uint32_t& installFlags) {
  std::string text;
  const FileState state = readRegularFile(PATH_DOWNGRADE_MARKER, TEXT_FILE_LIMIT, text);
  if (state == FileState::Unopened) return NO_VERSION_FLOOR;
  installFlags |= INSTALL_DOWNGRADE;
  if (state != FileState::Opened)
    printWarning(db, "%s %s", PATH_DOWNGRADE_MARKER, unreadReason(state, TEXT_FILE_LIMIT).c_str());
  uint32_t limit = 0;
  // The number is the leading digits of the first word; text after them
  // is not part of it.
  std::string word;
  if (std::istringstream(text) >> word) {
    char* end = nullptr;
    const unsigned long long value = strtoull(word.c_str(), &end, 10);
    if (end != word.c_str() && word[0] != '-' && value <= 0xFFFFFFFFull)
      limit = static_cast<uint32_t>(value);
  }
  return limit;
}

bool exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

// The first directory that yields a package file is the only one used.
Candidates collectCandidates(PackageDb& db) {
  Candidates candidates;
  for (const char* directory : kPackageDirectories) {
    if (directory == kPackageDirectories[0] && exists(PATH_IGNORE_MARKER)) continue;
    scanDownloads(db, directory, candidates);
    if (!candidates.empty()) break;
  }
  return candidates;
}

// Orders the candidates for installation and frees those selection drops.
void selectCandidates(PackageDb& db, Candidates& candidates, uint32_t floor) {
  std::vector<PackageFile*> order;
  for (const auto& candidate : candidates) order.push_back(candidate.get());
  selectProviders(db, order, floor, true);
  Candidates selected;
  for (PackageFile* survivor : order) {
    for (auto& owned : candidates) {
      if (owned.get() == survivor) {
        selected.push_back(std::move(owned));
        break;
      }
    }
  }
  candidates = std::move(selected);
}

ForcedStates userChosenStates(const PackageDb& db) {
  ForcedStates states;
  for (const InstalledPackage* package : db.packages)
    if (package->userForced && !package->name.empty()) states[package->name] = package->disabled;
  return states;
}

std::set<std::string> enabledNames(const PackageDb& db) {
  std::set<std::string> names;
  for (const InstalledPackage* package : db.packages) {
    if (package->disabled || package->name.empty()) continue;
    names.insert(package->name);
    for (const DependencyEntry& provided : package->provides) names.insert(provided.name);
  }
  return names;
}

// The downloaded file becomes the package's image: it is moved, not copied.
void placeImage(Manifest& manifest, const PackageFile& candidate, bool boot) {
  const std::string target = PATH_DATABASE_DIR + candidate.name + "/image";
  if (boot) {
    stageMove(manifest, candidate.path, PATH_BOOT_IMAGE);
    stageSymlink(manifest, PATH_BOOT_IMAGE, target);
  } else {
    stageMove(manifest, candidate.path, target);
  }
}

// Brings back what an install left disabled by a conflict or a bundle's
// list, as far as nothing enabled is in its way.
PackageList packagesToEnableAgain(const PackageDb& db, const std::set<std::string>& names) {
  const NameOrProvidesIndex byName(db.packages);
  PackageList pending;
  for (const std::string& name : names) {
    InstalledPackage* package = byName.find(name);
    if (package && package->disabled && !findExcluder(db, *package)) pending.push_back(package);
  }
  return pending;
}

// Placeholders of a bundle's member list are not installed packages.
bool hasInstalledPackage(const PackageDb& db) {
  for (const InstalledPackage* package : db.packages)
    if (!package->name.empty()) return true;
  return false;
}

}  // namespace

UpgradeCandidates findUpgradeCandidates(PackageDb& db, uint32_t installFlags) {
  UpgradeCandidates candidates;
  candidates.installFlags = installFlags;
  const uint32_t limit = readDowngradeLimit(db, candidates.installFlags);
  candidates.files = collectCandidates(db);
  selectCandidates(db, candidates.files, limit);
  return candidates;
}

void upgradeRun(PackageDb& db, Manifest& manifest, const UpgradeCandidates& candidates) {
  const ForcedStates forcedStates = userChosenStates(db);
  const std::set<std::string> wasEnabled = enabledNames(db);
  const InstallContext context{db, manifest, candidates.installFlags, forcedStates, nullptr};

  for (const auto& candidate : candidates.files) {
    FileSource file;
    if (!file.open(candidate->path)) continue;
    std::istream input(&file);
    const InstallResult result = installFromStream(context, input);
    // A bundle installed at the same version is passed over like a single
    // package: the rest of the upgrade goes on.
    if (result.status != 0 && !result.sameInstalled) {
      cancelChanges(manifest);
      return;
    }
    if (candidate->isImage) placeImage(manifest, *candidate, result.boot);
  }

  applyEnables(db, manifest, packagesToEnableAgain(db, wasEnabled), REPORT_CHANGES);
  if (!hasInstalledPackage(db)) {
    printError(db, "router installation failed!!!");
    cancelChanges(manifest);
  }
}
