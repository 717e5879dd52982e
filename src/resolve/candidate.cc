#include "resolve/candidate.h"

#include "pkg/console.h"
#include "platform/flash_device.h"
#include "resolve/relations.h"

namespace {

// Systems before 3.20rc2 cannot use flash with 256 KiB erase blocks.
constexpr Version LARGE_ERASE_BLOCK_SINCE = 0x03146302;
constexpr uint32_t LARGE_ERASE_BLOCK = 0x40000;

// The packages that carry the system itself go through the device rules.
bool isSystemPackage(const std::string& name) {
  return name == "system" || name.compare(0, 8, "korvalis") == 0;
}

// The judgement of one candidate: the verdict so far and whether its one
// message has been printed.
class Judgement {
 public:
  Judgement(PackageDb& db, const Package& candidate, uint32_t accept)
      : db_(db), candidate_(candidate), accept_(accept) {}

  uint32_t run() {
    judgeInstalledVersion();
    judgeDevice();
    judgeArchitecture();
    judgeDependencies();
    judgeExclusion();
    return verdict_;
  }

 private:
  // A message for a condition may be printed when none was and the mask
  // does not accept the condition.
  bool mayReport(uint32_t bit) const { return !printed_ && (accept_ & bit) == 0; }

  // mayReport, taking the candidate's one message when it may.
  bool takeMessage(uint32_t bit) {
    if (!mayReport(bit)) return false;
    printed_ = true;
    return true;
  }

  void judgeInstalledVersion() {
    const InstalledPackage* installed = db_.lookupByName(candidate_.name);
    if (!installed || installed->name == "branding") return;
    const std::string name = candidate_.displayName();
    const int order = compareVersions(candidate_, *installed);
    if (order < 0) {
      verdict_ = NEWER_INSTALLED;
      if (takeMessage(NEWER_INSTALLED))
        printWarning(db_, "omitting package %s: newer package %s is already installed", name.c_str(),
                     installed->displayName().c_str());
    } else if (order == 0) {
      verdict_ = SAME_INSTALLED;
      if (takeMessage(SAME_INSTALLED))
        printWarning(db_, "omitting package %s: it is already installed", name.c_str());
    } else {
      verdict_ = OLDER_INSTALLED;
      if ((accept_ & NEWER_INSTALLED) && takeMessage(OLDER_INSTALLED))
        printWarning(db_, "omitting package %s: older package is already installed", name.c_str());
    }
  }

  void judgeDevice() {
    if (!isSystemPackage(candidate_.name)) return;
    const bool report = mayReport(UNUSABLE);
    if (checkCompatibility(db_, candidate_, report)) return;
    verdict_ |= UNUSABLE;
    printed_ |= report;
  }

  void judgeArchitecture() {
    const std::string& arch = candidate_.architecture;
    if (arch.empty() || arch == db_.systemArch) return;
    verdict_ |= UNUSABLE;
    if (takeMessage(UNUSABLE))
      printError(db_, "can not install %s: it is not made for %s, but for %s",
                 candidate_.displayName().c_str(), db_.systemArch.c_str(), arch.c_str());
  }

  void judgeDependencies() {
    for (const DependencyEntry& dependency : candidate_.deps) {
      if (!findProviders(db_, dependency, false).empty()) continue;
      verdict_ |= UNUSABLE;
      if (takeMessage(UNUSABLE))
        printError(db_, "can not install %s: %s is not installed, but is required",
                   candidate_.displayName().c_str(), dependencyDisplayName(dependency).c_str());
      return;
    }
  }

  void judgeExclusion() {
    const InstalledPackage* excluder = findExcluder(db_, candidate_);
    if (!excluder) return;
    verdict_ |= CONFLICTS;
    if (takeMessage(CONFLICTS))
      printError(db_, "can not install %s: it conflicts with %s", candidate_.displayName().c_str(),
                 excluder->displayName().c_str());
  }

  PackageDb& db_;
  const Package& candidate_;
  const uint32_t accept_;
  uint32_t verdict_ = 0;
  bool printed_ = false;
};

}  // namespace

DeviceLimits deviceLimits = {flashMinimumVersion, mtdEraseSize};

uint32_t chooseCandidate(PackageDb& db, const Package& candidate, uint32_t accept) {
  return Judgement(db, candidate, accept).run();
}

std::vector<InstalledPackage*> findProviders(const PackageDb& db, const DependencyEntry& requirement,
                                             bool includeDisabled) {
  std::vector<InstalledPackage*> providers;
  for (InstalledPackage* package : db.packages) {
    if (isAllOnes(*package) || (package->disabled && !includeDisabled)) continue;
    if (satisfies(*package, requirement) || providesFor(*package, requirement)) providers.push_back(package);
  }
  return providers;
}

InstalledPackage* findExcluder(const PackageDb& db, const Package& candidate) {
  for (InstalledPackage* package : db.packages)
    if (!package->disabled && excludes(*package, candidate)) return package;
  return nullptr;
}

bool checkCompatibility(PackageDb& db, const Package& candidate, bool report) {
  const Version minimum = deviceLimits.minimumVersion();
  if (candidate.version < minimum) {
    if (report) {
      const std::string name = candidate.displayName();
      printError(db, "omitting package %s: min Korvalis version is %s", name.c_str(), versionText(minimum));
    }
    return false;
  }
  if (candidate.version < LARGE_ERASE_BLOCK_SINCE && deviceLimits.eraseBlockSize() == LARGE_ERASE_BLOCK) {
    if (report)
      printWarning(db, "omitting package %s: it does not support current file system",
                   candidate.displayName().c_str());
    return false;
  }
  return true;
}
