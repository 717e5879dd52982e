#include "resolve/relations.h"

namespace {

const Package* memberNamed(const Package& package, const std::string& name) {
  for (const Package* member : package.members)
    if (namesMatch(member->name, name)) return member;
  return nullptr;
}

template <class Number>
int compareNumbers(Number a, Number b) {
  if (a > b) return 1;
  if (a < b) return -1;
  return 0;
}

// Newer version first, then later build time.
int compareSameNamed(const Package& a, const Package& b) {
  const int byVersion = compareNumbers(a.version, b.version);
  return byVersion != 0 ? byVersion : compareNumbers(a.buildTime, b.buildTime);
}

// The strength of a provided name decides between two packages that meet
// through their provides lists. Returns +1 for "excludes", -1 for "does not",
// 0 when the lists do not decide.
int decideByProvides(const Package& a, const Package& b) {
  for (const DependencyEntry& provided : b.provides)
    if (namesMatch(provided.name, a.name)) return provided.extra < 0 ? 1 : -1;

  for (const DependencyEntry& own : a.provides) {
    if (namesMatch(own.name, b.name)) return own.extra >= 0 ? 1 : -1;
    for (const DependencyEntry& provided : b.provides)
      if (namesMatch(own.name, provided.name)) return own.extra > provided.extra ? 1 : -1;
  }
  return 0;
}

}  // namespace

bool isAllOnes(const Package& package) {
  return package.version == 0xFFFFFFFFu && package.buildTime == 0xFFFFFFFFu;
}

bool satisfies(const Package& package, const DependencyEntry& requirement) {
  return namesMatch(package.name, requirement.name) && package.version >= requirement.min &&
         (requirement.max == 0 || package.version <= requirement.max);
}

bool rangesOverlap(const DependencyEntry& provided, const DependencyEntry& requirement) {
  if (!namesMatch(provided.name, requirement.name)) return false;
  if (provided.min != 0 && requirement.max != 0 && provided.min > requirement.max) return false;
  return provided.max == 0 || requirement.min == 0 || provided.max >= requirement.min;
}

bool providesFor(const Package& package, const DependencyEntry& requirement) {
  for (const DependencyEntry& provided : package.provides)
    if (rangesOverlap(provided, requirement)) return true;
  return false;
}

bool dependsOn(const Package& a, const Package& b) {
  for (const DependencyEntry& dependency : a.deps)
    if (satisfies(b, dependency) || providesFor(b, dependency)) return true;
  for (const Package* member : b.members)
    if (dependsOn(a, *member)) return true;
  for (const Package* member : a.members)
    if (dependsOn(*member, b)) return true;
  return false;
}

bool excludes(const Package& a, const Package& b) {
  if (isAllOnes(a) || isAllOnes(b)) return false;
  for (const DependencyEntry& conflict : a.conflicts)
    if (satisfies(b, conflict)) return true;
  if (const int decided = decideByProvides(a, b)) return decided > 0;
  for (const DependencyEntry& conflict : a.conflicts)
    if (providesFor(b, conflict)) return true;
  if (memberNamed(b, a.name)) return true;
  for (const Package* member : a.members)
    if (excludes(*member, b)) return true;
  return false;
}

bool hasName(const Package& package, const std::string& name) {
  return namesMatch(package.name, name) || memberNamed(package, name) != nullptr;
}

int compareVersions(const Package& a, const Package& b) {
  if (namesMatch(a.name, b.name)) return compareSameNamed(a, b);
  if (const Package* member = memberNamed(a, b.name)) return compareSameNamed(*member, b);
  if (const Package* member = memberNamed(b, a.name)) return -compareSameNamed(*member, a);
  return 0;
}

int compareDirected(const Package& a, const Package& b, bool reverse) {
  const int result = compareVersions(a, b);
  return reverse ? -result : result;
}
