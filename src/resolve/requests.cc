#include "resolve/requests.h"

#include "pkg/console.h"
#include "resolve/candidate.h"
#include "resolve/providers.h"
#include "resolve/relations.h"

namespace {

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
enum class Outlook {
  Kept,       // a provider is enabled after the plan
  Uninstall,  // none is: every provider goes, or there is none
  Disable,    // none is, but a provider stays installed disabled
};

// A provider that ends enabled keeps the requirement met, even when it is
// an enabled package whose enable request changes nothing about it.
Outlook providerOutlook(const PackageList& providers) {
  bool disabledRemains = false;
  for (const InstalledPackage* provider : providers) {
    if (endsEnabled(*provider)) return Outlook::Kept;
    if (provider->disabled || provider->scheduled == SCHEDULE_DISABLE) disabledRemains = true;
  }
  return disabledRemains ? Outlook::Disable : Outlook::Uninstall;
}

// The rule of settleDependencies for one requirement: a dependent that loses
// what it needs is uninstalled, or disabled while a provider stays disabled.
// True when the dependent's request changed.
bool followOutlook(InstalledPackage& dependent, Outlook outlook) {
  if (outlook == Outlook::Uninstall && dependent.scheduled != SCHEDULE_UNINSTALL) {
    dependent.scheduled = SCHEDULE_UNINSTALL;
    return true;
  }
  if (outlook == Outlook::Disable &&
      (dependent.scheduled == SCHEDULE_NONE || dependent.scheduled == SCHEDULE_ENABLE) &&
      endsEnabled(dependent)) {
    dependent.scheduled = SCHEDULE_DISABLE;
    return true;
  }
  return false;
}

}  // namespace

RequestPass::RequestPass(PackageDb& db, int report)
    : db_(db), packages_(db.packages), report_(report), index_(db.packages) {}

bool RequestPass::resolve(PackageList& removals, PackageList& enables) {
  followBundles(db_);
  keepWhatEnabledPackagesNeed();
  settleConflicts();
  settleDependencies();
  settleBundleRecords(db_);
  if (!leavesSomethingEnabled()) return false;
  plan(removals, enables);
  return true;
}

// Packages that end enabled keep what they need.
void RequestPass::keepWhatEnabledPackagesNeed() {
  for (InstalledPackage* package : packages_)
    if (endsEnabled(*package)) walk(*package);
}

// keepDependencies, except that a record whose walk is under way is not
// walked again when nothing has changed since that walk began: it would
// come back to the same point without end.
void RequestPass::walk(InstalledPackage& package) {
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

void RequestPass::keepDependencies(InstalledPackage& package) {
  if (!package.bundle.name.empty())
    if (InstalledPackage* bundle = db_.lookupByName(package.bundle.name)) keepProvider(*bundle, package);
  for (const DependencyEntry& dependency : package.deps) {
    PackageList found = providers(dependency);
    if (providerOutlook(found) == Outlook::Kept) continue;
    if (found.empty()) return;
    selectProviders(db_, found, NO_VERSION_FLOOR, false);
    if (!found.empty()) keepProvider(*found.back(), package);
  }
}

void RequestPass::keepProvider(InstalledPackage& provider, const InstalledPackage& dependent) {
  if (provider.scheduled == SCHEDULE_UNINSTALL || provider.scheduled == SCHEDULE_DISABLE) {
    if (report_ >= REPORT_CHANGES)
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
void RequestPass::settleConflicts() {
  for (size_t i = 0; i < packages_.size(); ++i)
    if (endsEnabled(*packages_[i])) settleConflictsOf(i);
}

void RequestPass::settleConflictsOf(size_t index) {
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
      if (report_ >= REPORT_CHANGES)
        printWarning(db_, "can not enable %s: %s conflicts with it", package.name.c_str(),
                     rival.displayName().c_str());
      package.scheduled = SCHEDULE_NONE;
      return;
    }
  }
}

// On a work list. Requests only grow stronger here (towards
// disable, then uninstall) and so does every outlook, so the changes may
// be made in any order and the result is the one of the scan above. After
// a change only the dependents of the changed record need another look.
void RequestPass::settleDependencies() {
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
bool RequestPass::settleRequirementsOf(InstalledPackage& package, const std::vector<PackageList>& providers) {
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
bool RequestPass::leavesSomethingEnabled() {
  bool anyPackage = false;
  for (const InstalledPackage* package : packages_) {
    if (package->isPlaceholder()) continue;
    if (endsEnabled(*package)) return true;
    anyPackage = true;
  }
  if (!anyPackage) return true;
  for (InstalledPackage* package : packages_) package->scheduled = SCHEDULE_NONE;
  if (report_ >= REPORT_CHANGES) printError(db_, "can not uninstall or disable all packages");
  return false;
}

// Removals run in reverse list order; enables go through selection, so
// that each comes after what it needs.
void RequestPass::plan(PackageList& removals, PackageList& enables) {
  PackageList leaving, enabling;
  for (InstalledPackage* package : packages_) {
    if (package->isPlaceholder()) continue;
    if (package->scheduled == SCHEDULE_UNINSTALL || package->scheduled == SCHEDULE_DISABLE)
      leaving.push_back(package);
    else if (package->scheduled == SCHEDULE_ENABLE)
      enabling.push_back(package);
  }
  removals.insert(removals.begin(), leaving.rbegin(), leaving.rend());
  selectProviders(db_, enabling, NO_VERSION_FLOOR, false);
  enables.insert(enables.end(), enabling.begin(), enabling.end());
}

PackageList RequestPass::providers(const DependencyEntry& requirement) const {
  PackageList found;
  for (size_t position : index_.providers(requirement)) found.push_back(packages_[position]);
  return found;
}

std::vector<size_t> RequestPass::exclusionPartners(size_t index) const {
  return index_.exclusionPartners(index);
}

// Sets a request while keeping what packages need, counting the changes
// for walk().
void RequestPass::request(InstalledPackage& package, ScheduledAction action) {
  if (package.scheduled == action) return;
  package.scheduled = action;
  ++changes_;
}

bool RequestPass::loseRequirement(InstalledPackage& dependent, const PackageList& providers) {
  return followOutlook(dependent, providerOutlook(providers));
}

bool resolveRequests(PackageDb& db, PackageList& removals, PackageList& enables, int report) {
  return RequestPass(db, report).resolve(removals, enables);
}
