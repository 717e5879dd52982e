#include "resolve/requests.h"

#include <algorithm>
#include <unordered_map>

#include "changes/package_removal.h"
#include "pkg/console.h"
#include "pkg/database.h"
#include "resolve/candidate.h"
#include "resolve/providers.h"
#include "resolve/relation_index.h"
#include "resolve/relations.h"

namespace {

bool isPlaceholder(const InstalledPackage& package) { return package.name.empty(); }

// Enabled once the plan is carried out.
bool endsEnabled(const InstalledPackage& package) {
  return package.scheduled == SCHEDULE_ENABLE || (package.scheduled == SCHEDULE_NONE && !package.disabled);
}

// Installed in its current state and left so. An enabled package with an
// enable request does not count: it stays, but is planned to be enabled.
bool staysPresent(const InstalledPackage& package) {
  return package.disabled ? package.scheduled == SCHEDULE_ENABLE : package.scheduled == SCHEDULE_NONE;
}

// What becomes of a requirement, judged by its providers.
enum Outlook {
  OUTLOOK_KEPT = 0,       // a provider is enabled after the plan
  OUTLOOK_UNINSTALL = 1,  // none is: every provider goes, or there is none
  OUTLOOK_DISABLE = 3,    // none is, but a provider stays installed disabled
};

// A provider that ends enabled keeps the requirement met, even when it is
// an enabled package whose enable request changes nothing about it.
Outlook providerOutlook(const PackageList& providers) {
  bool disabledRemains = false;
  for (const InstalledPackage* provider : providers) {
    if (endsEnabled(*provider)) return OUTLOOK_KEPT;
    if (provider->disabled || provider->scheduled == SCHEDULE_DISABLE) disabledRemains = true;
  }
  return disabledRemains ? OUTLOOK_DISABLE : OUTLOOK_UNINSTALL;
}

// The rule of settleDependencies for one requirement: a dependent that loses
// what it needs is uninstalled, or disabled while a provider stays disabled.
// True when the dependent's request changed.
bool followOutlook(InstalledPackage& dependent, Outlook outlook) {
  if (outlook == OUTLOOK_UNINSTALL && dependent.scheduled != SCHEDULE_UNINSTALL) {
    dependent.scheduled = SCHEDULE_UNINSTALL;
    return true;
  }
  if (outlook == OUTLOOK_DISABLE &&
      (dependent.scheduled == SCHEDULE_NONE || dependent.scheduled == SCHEDULE_ENABLE) &&
      endsEnabled(dependent)) {
    dependent.scheduled = SCHEDULE_DISABLE;
    return true;
  }
  return false;
}

// One pass over the package list, in this order: bundle members follow
// their bundle; packages that end enabled keep what they need; conflicts
// are settled; packages that lose what they need are disabled or
// uninstalled; bundle records follow their members; the pass refuses to
// leave nothing enabled; and the plan is drawn up. Where a step looks at a
// record's state, it sees the changes made before, within the same step too.
//
// The scanning form looks through the whole list for every question and
// starts settling dependencies over after every change; the other form asks
// an index and a work list, and comes to the same result.
class RequestPass {
 public:
  RequestPass(PackageDb& db, int report, bool scanning)
      : db_(db), packages_(db.packages), report_(report), scanning_(scanning), index_(db.packages) {}

  bool resolve(PackageList& removals, PackageList& enables) {
    followBundles(db_);
    keepWhatEnabledPackagesNeed();
    settleConflicts();
    if (scanning_)
      settleDependenciesByScanning();
    else
      settleDependencies();
    settleBundleRecords(db_);
    if (!leavesSomethingEnabled()) return false;
    plan(removals, enables);
    return true;
  }

 private:
  // Packages that end enabled keep what they need.
  void keepWhatEnabledPackagesNeed() {
    for (InstalledPackage* package : packages_)
      if (endsEnabled(*package)) walk(*package);
  }

  // keepDependencies, except that a record whose walk is under way is not
  // walked again when nothing has changed since that walk began: it would
  // come back to the same point without end.
  void walk(InstalledPackage& package) {
    const auto underWay = walkStarts_.find(&package);
    const bool nested = underWay != walkStarts_.end();
    if (nested && underWay->second == changes_) return;
    const uint64_t outerStart = nested ? underWay->second : 0;
    walkStarts_[&package] = changes_;
    keepDependencies(package);
    if (nested)
      walkStarts_[&package] = outerStart;
    else
      walkStarts_.erase(&package);
  }

  void keepDependencies(InstalledPackage& package) {
    if (!package.bundle.name.empty())
      if (InstalledPackage* bundle = db_.lookupByName(package.bundle.name)) keepProvider(*bundle, package);
    for (const DependencyEntry& dependency : package.deps) {
      PackageList found = providers(dependency);
      if (providerOutlook(found) == OUTLOOK_KEPT) continue;
      if (found.empty()) return;
      selectProviders(db_, found, NO_VERSION_FLOOR, false);
      if (!found.empty()) keepProvider(*found.back(), package);
    }
  }

  void keepProvider(InstalledPackage& provider, const InstalledPackage& dependent) {
    if (provider.scheduled == SCHEDULE_UNINSTALL || provider.scheduled == SCHEDULE_DISABLE) {
      if (report_ >= 1)
        printWarning(db_, "can not %s %s: %s depends on it", scheduledVerbs[provider.scheduled],
                     provider.displayName().c_str(), dependent.name.c_str());
      request(provider, SCHEDULE_NONE);
      walk(provider);
    } else if (provider.disabled) {
      request(provider, SCHEDULE_ENABLE);
      walk(provider);
    }
  }

  // A package that ends enabled has those it excludes disabled; one that is
  // to be enabled also has those disabled that exclude it, and gives up when
  // such a package is to be enabled too, also when the two exclude each
  // other.
  void settleConflicts() {
    for (size_t i = 0; i < packages_.size(); ++i)
      if (endsEnabled(*packages_[i])) settleConflictsOf(i);
  }

  void settleConflictsOf(size_t index) {
    InstalledPackage& package = *packages_[index];
    for (size_t other : exclusionPartners(index)) {
      InstalledPackage& rival = *packages_[other];
      if (!staysPresent(rival)) continue;
      if (rival.scheduled == SCHEDULE_NONE && excludes(package, rival)) {
        rival.scheduled = SCHEDULE_DISABLE;
        continue;
      }
      if (package.scheduled != SCHEDULE_ENABLE || !excludes(rival, package)) continue;
      if (rival.scheduled == SCHEDULE_NONE) {
        rival.scheduled = SCHEDULE_DISABLE;
      } else {
        if (report_ >= 1)
          printWarning(db_, "can not enable %s: %s conflicts with it", package.name.c_str(),
                       rival.displayName().c_str());
        package.scheduled = SCHEDULE_NONE;
        return;
      }
    }
  }

  // A package that loses every provider of a requirement is uninstalled, or
  // disabled while a provider stays installed disabled. After every change
  // the scan starts again from the first record.
  void settleDependenciesByScanning() {
    size_t i = 0;
    while (i < packages_.size()) {
      InstalledPackage& package = *packages_[i];
      bool changed = false;
      for (const DependencyEntry& dependency : package.deps)
        if ((changed = followOutlook(package, providerOutlook(providers(dependency))))) break;
      i = changed ? 0 : i + 1;
    }
  }

  // settleDependenciesByScanning on a work list. Requests only grow stronger here (towards
  // disable, then uninstall) and so does every outlook, so the changes may
  // be made in any order and the result is the one of the scan above. After
  // a change only the dependents of the changed record need another look.
  void settleDependencies() {
    const size_t count = packages_.size();
    std::vector<std::vector<PackageList>> providersOf(count);
    std::vector<std::vector<size_t>> dependents(count);
    for (size_t i = 0; i < count; ++i) {
      for (const DependencyEntry& dependency : packages_[i]->deps) {
        PackageList found;
        for (size_t provider : index_.providers(dependency)) {
          found.push_back(packages_[provider]);
          dependents[provider].push_back(i);
        }
        providersOf[i].push_back(std::move(found));
      }
    }
    std::vector<size_t> work(count);
    std::vector<bool> queued(count, true);
    for (size_t i = 0; i < count; ++i) work[i] = count - 1 - i;
    while (!work.empty()) {
      const size_t i = work.back();
      work.pop_back();
      queued[i] = false;
      if (!settleRequirementsOf(*packages_[i], providersOf[i])) continue;
      for (size_t dependent : dependents[i]) {
        if (queued[dependent]) continue;
        queued[dependent] = true;
        work.push_back(dependent);
      }
    }
  }

  // Applies the rule to the package until none of its requirements changes
  // its request any more. True when the request changed.
  static bool settleRequirementsOf(InstalledPackage& package, const std::vector<PackageList>& providers) {
    bool changedOnce = false;
    for (bool changed = true; changed;) {
      changed = false;
      for (const PackageList& found : providers)
        if ((changed = followOutlook(package, providerOutlook(found)))) break;
      changedOnce |= changed;
    }
    return changedOnce;
  }

  // The pass never leaves the system without an enabled package.
  bool leavesSomethingEnabled() {
    bool anyPackage = false;
    for (const InstalledPackage* package : packages_) {
      if (isPlaceholder(*package)) continue;
      if (endsEnabled(*package)) return true;
      anyPackage = true;
    }
    if (!anyPackage) return true;
    for (InstalledPackage* package : packages_) package->scheduled = SCHEDULE_NONE;
    if (report_ >= 1) printError(db_, "can not uninstall or disable all packages");
    return false;
  }

  // Removals run in reverse list order; enables go through selection, so
  // that each comes after what it needs.
  void plan(PackageList& removals, PackageList& enables) {
    PackageList leaving, enabling;
    for (InstalledPackage* package : packages_) {
      if (isPlaceholder(*package)) continue;
      if (package->scheduled == SCHEDULE_UNINSTALL || package->scheduled == SCHEDULE_DISABLE)
        leaving.push_back(package);
      else if (package->scheduled == SCHEDULE_ENABLE)
        enabling.push_back(package);
    }
    removals.insert(removals.begin(), leaving.rbegin(), leaving.rend());
    selectProviders(db_, enabling, NO_VERSION_FLOOR, false);
    enables.insert(enables.end(), enabling.begin(), enabling.end());
  }

  PackageList providers(const DependencyEntry& requirement) const {
    if (scanning_) return findProviders(db_, requirement, true);
    PackageList found;
    for (size_t position : index_.providers(requirement)) found.push_back(packages_[position]);
    return found;
  }

  std::vector<size_t> exclusionPartners(size_t index) const {
    if (!scanning_) return index_.exclusionPartners(index);
    std::vector<size_t> everyOther;
    for (size_t i = 0; i < packages_.size(); ++i)
      if (i != index) everyOther.push_back(i);
    return everyOther;
  }

  // Sets a request while keeping what packages need, counting the changes
  // for walk().
  void request(InstalledPackage& package, ScheduledAction action) {
    if (package.scheduled == action) return;
    package.scheduled = action;
    ++changes_;
  }

  PackageDb& db_;
  const PackageList& packages_;
  const int report_;
  const bool scanning_;
  const RelationIndex index_;
  std::unordered_map<const InstalledPackage*, uint64_t> walkStarts_;
  uint64_t changes_ = 0;
};

void takeOutOfList(PackageDb& db, const InstalledPackage* package) {
  PackageList& packages = db.packages;
  packages.erase(std::remove(packages.begin(), packages.end(), package), packages.end());
}

void disable(PackageDb& db, Manifest& manifest, InstalledPackage& package, int report) {
  const std::string name = package.displayName();
  if (report >= 1) showStatus(db, "disabling " + name + "...");
  markDisabled(package, manifest);
  if (report >= 1) printNotice(db, "disabled %s", name.c_str());
}

void uninstall(PackageDb& db, Manifest& manifest, InstalledPackage* package, int report) {
  const std::string name = package->displayName();
  if (report >= 2) showStatus(db, "uninstalling " + name + "...");
  removePackageFiles(*package, manifest);
  takeOutOfList(db, package);
  if (report >= 2) printNotice(db, "uninstalled %s", name.c_str());
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

bool resolveRequests(PackageDb& db, PackageList& removals, PackageList& enables, int report) {
  return RequestPass(db, report, false).resolve(removals, enables);
}

bool resolveRequestsByScanning(PackageDb& db, PackageList& removals, PackageList& enables, int report) {
  return RequestPass(db, report, true).resolve(removals, enables);
}

void applyRemovals(PackageDb& db, Manifest& manifest, const PackageList& removals, int report) {
  for (InstalledPackage* package : removals) {
    if (isPlaceholder(*package)) continue;
    if (package->scheduled == SCHEDULE_UNINSTALL)
      uninstall(db, manifest, package, report);
    else
      disable(db, manifest, *package, report);
  }
}

void applyEnables(PackageDb& db, Manifest& manifest, const PackageList& enables, int report) {
  for (InstalledPackage* package : enables) {
    if (isPlaceholder(*package)) continue;
    const std::string name = package->displayName();
    if (report >= 1) showStatus(db, "enabling " + name + "...");
    markEnabled(*package, manifest);
    if (report >= 1) printNotice(db, "enabled %s", name.c_str());
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
