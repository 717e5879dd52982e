#include "resolve/relation_index.h"

#include <algorithm>

#include "resolve/relations.h"

namespace {

void appendNames(const std::vector<DependencyEntry>& entries, std::vector<std::string>& names) {
  for (const DependencyEntry& entry : entries) names.push_back(entry.name);
}

// The names under which a record meets a requirement.
std::vector<std::string> providedNames(const Package& package) {
  std::vector<std::string> names{package.name};
  appendNames(package.provides, names);
  return names;
}

// A excludes B only through a name of A's side below that is also a name of
// B's side: a conflict or provided name of A, or A's own name, against B's
// name, provided names or member names. A's members exclude on A's behalf.
void appendExcludingNames(const Package& package, std::vector<std::string>& names) {
  names.push_back(package.name);
  appendNames(package.conflicts, names);
  appendNames(package.provides, names);
  for (const Package* member : package.members) appendExcludingNames(*member, names);
}

std::vector<std::string> excludingNames(const Package& package) {
  std::vector<std::string> names;
  appendExcludingNames(package, names);
  return names;
}

std::vector<std::string> excludedNames(const Package& package) {
  std::vector<std::string> names = providedNames(package);
  for (const Package* member : package.members) names.push_back(member->name);
  return names;
}

void sortUnique(std::vector<size_t>& positions) {
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
}

}  // namespace

RelationIndex::RelationIndex(const std::vector<InstalledPackage*>& packages) : packages_(packages) {
  for (size_t i = 0; i < packages.size(); ++i) {
    const InstalledPackage& package = *packages[i];
    if (isAllOnes(package)) continue;
    add(byProvidedName_, providedNames(package), i);
    add(byExcludingName_, excludingNames(package), i);
    add(byExcludedName_, excludedNames(package), i);
  }
}

void RelationIndex::add(NameIndex& index, const std::vector<std::string>& names, size_t position) {
  for (const std::string& name : names) {
    std::vector<size_t>& positions = index[name];
    if (positions.empty() || positions.back() != position) positions.push_back(position);
  }
}

void RelationIndex::collect(const NameIndex& index, const std::vector<std::string>& names,
                            std::vector<size_t>& positions) {
  for (const std::string& name : names) {
    const auto found = index.find(name);
    if (found != index.end()) positions.insert(positions.end(), found->second.begin(), found->second.end());
  }
}

std::vector<size_t> RelationIndex::providers(const DependencyEntry& requirement) const {
  std::vector<size_t> found;
  const auto bucket = byProvidedName_.find(requirement.name);
  if (bucket == byProvidedName_.end()) return found;
  for (size_t position : bucket->second) {
    const InstalledPackage& package = *packages_[position];
    if (satisfies(package, requirement) || providesFor(package, requirement)) found.push_back(position);
  }
  return found;
}

std::vector<size_t> RelationIndex::exclusionPartners(size_t index) const {
  const InstalledPackage& package = *packages_[index];
  std::vector<size_t> partners;
  if (isAllOnes(package)) return partners;
  collect(byExcludedName_, excludingNames(package), partners);
  collect(byExcludingName_, excludedNames(package), partners);
  sortUnique(partners);
  partners.erase(std::remove(partners.begin(), partners.end(), index), partners.end());
  return partners;
}
