// The relations between package records and dependency entries on which
// every decision of the resolver rests. Pure functions: they read no files
// and print nothing. Bundles take part through their members.
#pragma once

#include <string>

#include "pkg/package.h"

// A record whose version and build time both have every bit set: it never
// excludes nor is excluded, and the resolver's scans pass it over.
bool isAllOnes(const Package& package);

// The package's name is the requirement's, and its version lies within the
// requirement's inclusive bounds (0: open).
bool satisfies(const Package& package, const DependencyEntry& requirement);

// A provides entry and a requirement name the same thing and their version
// ranges meet.
bool rangesOverlap(const DependencyEntry& provided, const DependencyEntry& requirement);

// Some provides entry of the package overlaps the requirement.
bool providesFor(const Package& package, const DependencyEntry& requirement);

// a needs b: one of a's dependencies is met by b, by a member of b, or a
// member of a needs b.
bool dependsOn(const Package& a, const Package& b);

// b may not be enabled while a is. Not symmetric.
bool excludes(const Package& a, const Package& b);

// The package or one of its members (one level deep) bears the name.
bool hasName(const Package& package, const std::string& name);

// +1 when a's side is newer, -1 when older, 0 when equal or when the two
// share no name. A bundle compares through its member of the other's name.
int compareVersions(const Package& a, const Package& b);

// compareVersions, negated when reverse is set.
int compareDirected(const Package& a, const Package& b, bool reverse);
