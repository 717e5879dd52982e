// The request pass: uninstall, enable and disable requests of the installed
// packages (their scheduled actions) become a consistent plan: the packages
// to disable or uninstall, and those to enable. The pass decides; carrying
// out the plan is the install layer's business.
//
// A record with an empty name is a placeholder that a bundle install puts in
// the list for its conflicts alone: the pass never plans anything for it.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "pkg/package_db.h"
#include "resolve/relation_index.h"

using PackageList = std::vector<InstalledPackage*>;

// How much a pass says: nothing, or its warnings and its error. Applying a
// plan also shows disables and enables, and at the loudest uninstalls too.
constexpr int REPORT_NONE = 0;
constexpr int REPORT_CHANGES = 1;
constexpr int REPORT_ALL = 2;

// One pass over the package list, in this order: bundle members follow
// their bundle; packages that end enabled keep what they need; conflicts
// are settled; packages that lose what they need are disabled or
// uninstalled; bundle records follow their members; the pass refuses to
// leave nothing enabled; and the plan is drawn up. Where a step looks at a
// record's state, it sees the changes made before, within the same step too.
//
// The lookups ask an index, and dependencies are settled on a work list;
// the hooks are virtual so that the plain scans of the whole list can be
// put in their place and compared.
class RequestPass {
 public:
  RequestPass(PackageDb& db, int report);
  virtual ~RequestPass() = default;

  // Fills the removal list (reverse list order) and the enable list (each
  // package after those that it needs). False, with every request cleared,
  // when it would leave no package enabled.
  bool resolve(PackageList& removals, PackageList& enables);

 protected:
  // The packages, enabled or not, that satisfy or provide for the
  // requirement, in list order.
  virtual PackageList providers(const DependencyEntry& requirement) const;
  // The positions of the records that may exclude the one at index, or
  // that it may exclude.
  virtual std::vector<size_t> exclusionPartners(size_t index) const;
  // A package that loses every provider of a requirement is uninstalled,
  // or disabled while a provider stays installed disabled.
  virtual void settleDependencies();
  // That rule for one requirement; true when the dependent's request
  // changed.
  static bool loseRequirement(InstalledPackage& dependent, const PackageList& providers);

  PackageDb& db_;
  const PackageList& packages_;

 private:
  void keepWhatEnabledPackagesNeed();
  void walk(InstalledPackage& package);
  void keepDependencies(InstalledPackage& package);
  void keepProvider(InstalledPackage& provider, const InstalledPackage& dependent);
  void settleConflicts();
  void settleConflictsOf(size_t index);
  static bool settleRequirementsOf(InstalledPackage& package, const std::vector<PackageList>& providers);
  bool leavesSomethingEnabled();
  void plan(PackageList& removals, PackageList& enables);
  void request(InstalledPackage& package, ScheduledAction action);

  const int report_;
  const RelationIndex index_;
  std::unordered_map<const InstalledPackage*, uint64_t> walkStarts_;
  uint64_t changes_ = 0;
};

// The pass with its index. report is REPORT_NONE or REPORT_CHANGES.
bool resolveRequests(PackageDb& db, PackageList& removals, PackageList& enables, int report);
