// An index over a package list that finds, without scanning the whole list,
// the records that may stand in a relation with a given one. The list's
// records must keep their names and relation lists while the index is used;
// their states may change.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "pkg/package.h"

class RelationIndex {
 public:
  explicit RelationIndex(const std::vector<InstalledPackage*>& packages);

  // The records, other than all-ones records and disabled ones included,
  // that satisfy the requirement or provide for it, in list order.
  std::vector<size_t> providers(const DependencyEntry& requirement) const;

  // The records other than the one at index that may exclude it or be
  // excluded by it, in list order: a superset of those that do.
  std::vector<size_t> exclusionPartners(size_t index) const;

 private:
  using NameIndex = std::unordered_map<std::string, std::vector<size_t>>;

  // Adds the record's position under every name, once per name.
  static void add(NameIndex& index, const std::vector<std::string>& names, size_t position);
  static void collect(const NameIndex& index, const std::vector<std::string>& names,
                      std::vector<size_t>& positions);

  const std::vector<InstalledPackage*>& packages_;
  NameIndex byProvidedName_;   // own name and provides names
  NameIndex byExcludingName_;  // names through which a record may exclude others
  NameIndex byExcludedName_;   // names through which a record may be excluded
};
