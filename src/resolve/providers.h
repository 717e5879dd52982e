// Choosing among packages that stand for the same thing (two files of one
// package, a bundle and one of its members as a single package), ordering the
// survivors so that each comes after what it needs, and keeping bundle
// records and their members in step.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "pkg/package_db.h"

// The floor of a selection that has none. A floor also makes the selection
// prefer older packages.
constexpr Version NO_VERSION_FLOOR = 0xFFFFFFFF;

// Keeps one survivor of every group of candidates that stand for the same
// thing and orders the survivors: each after the packages that it depends on
// and after those that exclude it. Losers are taken out of the list, never
// destroyed; their messages are printed when report is set. Candidates below
// the floor are always reported.
void selectProviders(PackageDb& db, std::vector<Package*>& list, Version floor, bool report);

template <class Record>
void selectProviders(PackageDb& db, std::vector<Record*>& list, Version floor, bool report) {
  std::vector<Package*> packages(list.begin(), list.end());
  selectProviders(db, packages, floor, report);
  list.clear();
  for (Package* package : packages) list.push_back(static_cast<Record*>(package));
}

// Bundle members take over the request of their bundle.
void followBundles(PackageDb& db);

// A bundle record follows its members unless one of them stays as it is or
// is enabled: with every member leaving it is uninstalled; with the
// remaining ones staying disabled, an enabled record is disabled and a
// disabled one loses an enable request.
void settleBundleRecords(PackageDb& db);

// The first enabled record named so or providing the name; when every such
// record is disabled, the last of them; else null.
InstalledPackage* findByNameOrProvides(const PackageDb& db, const std::string& name);

// findByNameOrProvides for many names: the records are indexed once by
// their names and provided names, so that a lookup looks only at the records
// that bear the name. The list must keep its records, their names and
// provides lists while the index is used; their states may change.
class NameOrProvidesIndex {
 public:
  explicit NameOrProvidesIndex(const std::vector<InstalledPackage*>& packages);

  // What findByNameOrProvides finds in the list.
  InstalledPackage* find(const std::string& name) const;

 private:
  const std::vector<InstalledPackage*>& packages_;
  std::unordered_map<std::string, std::vector<size_t>> positions_;  // in list order, each once
};
