#include "resolve/relations.h"

#include <gtest/gtest.h>

#include "package_set.h"

using namespace resolvetest;

namespace {

// A free-standing record; members are owned by their bundle.
struct Record : Package {
  Record(const std::string& name, Version v, uint32_t built = 0) : Package(name) {
    version = v;
    buildTime = built;
  }
  Record& member(const std::string& name, Version v) {
    members.push_back(new Record(name, v));
    return *this;
  }
};

TEST(Satisfies, BoundsAreInclusiveAndZeroIsOpen) {
  const Record system("system", ver(2, 5));
  EXPECT_TRUE(satisfies(system, need("system")));
  EXPECT_TRUE(satisfies(system, need("system", ver(2, 5), ver(2, 5))));
  EXPECT_FALSE(satisfies(system, need("system", ver(2, 5) + 1)));
  EXPECT_FALSE(satisfies(system, need("system", 0, ver(2, 5) - 1)));
  EXPECT_FALSE(satisfies(system, need("System")));
  EXPECT_FALSE(satisfies(system, need("systemx")));
  // Unsigned: a version with the top bit set is above every bound below it.
  EXPECT_TRUE(satisfies(Record("system", 0x90000000), need("system", ver(3, 0))));
}

TEST(RangesOverlap, OpenEndsAndDisjointRanges) {
  EXPECT_TRUE(rangesOverlap(need("x"), need("x", 8, 9)));
  EXPECT_FALSE(rangesOverlap(need("x", 5, 7), need("x", 8, 0)));
  EXPECT_TRUE(rangesOverlap(need("x", 5, 7), need("x", 0, 5)));
  EXPECT_FALSE(rangesOverlap(need("x", 5, 0), need("x", 0, 4)));
  EXPECT_TRUE(rangesOverlap(need("x", 5, 0), need("x", 100, 0)));
  EXPECT_FALSE(rangesOverlap(need("x"), need("y")));

  Record provider("p", ver(1, 0));
  provider.provides = {need("a", 1, 2), need("x", 5, 7)};
  EXPECT_TRUE(providesFor(provider, need("x", 6)));
  EXPECT_FALSE(providesFor(provider, need("x", 8)));
  EXPECT_FALSE(providesFor(provider, need("p")));  // its own name is not a provides entry
}

TEST(Excludes, ConflictsAndTheStrengthOfProvidedNames) {
  Record a("a", ver(1, 0)), b("b", ver(2, 0));
  EXPECT_FALSE(excludes(a, b));

  a.conflicts = {need("b", ver(3, 0))};
  EXPECT_FALSE(excludes(a, b));  // b is too old to conflict
  a.conflicts = {need("b", 0, ver(2, 0))};
  EXPECT_TRUE(excludes(a, b));
  EXPECT_FALSE(excludes(b, a));  // not symmetric
  a.conflicts.clear();

  // b yields to a: excluded with a negative strength only.
  b.provides = {need("a", 0, 0, -1)};
  EXPECT_TRUE(excludes(a, b));
  b.provides = {need("a", 0, 0, 0)};
  EXPECT_FALSE(excludes(a, b));
  // ...and that entry decides before a's conflicts with what b provides.
  b.provides = {need("a", 0, 0, 0), need("virtual")};
  a.conflicts = {need("virtual")};
  EXPECT_FALSE(excludes(a, b));
  b.provides = {need("virtual")};
  EXPECT_TRUE(excludes(a, b));
  a.conflicts.clear();

  // a replaces b by providing its name with a non-negative strength.
  b.provides.clear();
  a.provides = {need("b", 0, 0, 0)};
  EXPECT_TRUE(excludes(a, b));
  a.provides = {need("b", 0, 0, -1)};
  EXPECT_FALSE(excludes(a, b));

  // The same provided name: the stronger one wins; equal ones live together.
  a.provides = {need("shell", 0, 0, 2)};
  b.provides = {need("shell", 0, 0, 1)};
  EXPECT_TRUE(excludes(a, b));
  EXPECT_FALSE(excludes(b, a));
  b.provides = {need("shell", 0, 0, 2)};
  EXPECT_FALSE(excludes(a, b));
  EXPECT_FALSE(excludes(b, a));
  b.provides = {need("shell", 0, 0, -5)};
  a.provides = {need("shell", 0, 0, -3)};
  EXPECT_TRUE(excludes(a, b));  // strengths compare signed
}

TEST(Excludes, BundlesAndAllOnesRecords) {
  Record bundle("bundle", ver(1, 0));
  bundle.member("ppp", ver(1, 0));
  bundle.isBundle = true;
  const Record ppp("ppp", ver(2, 0));
  EXPECT_TRUE(excludes(ppp, bundle));  // the bundle holds a package of ppp's name
  EXPECT_FALSE(excludes(bundle, ppp));

  Record wireless("wireless", ver(1, 0));
  wireless.conflicts = {need("ppp")};
  bundle.members.push_back(new Record("wireless", ver(1, 0)));
  bundle.members.back()->conflicts = wireless.conflicts;
  EXPECT_TRUE(excludes(bundle, ppp));  // through its member

  Record allOnes("x", 0xFFFFFFFF, 0xFFFFFFFF);
  allOnes.conflicts = {need("ppp")};
  EXPECT_FALSE(excludes(allOnes, ppp));
  wireless.conflicts = {need("x")};
  EXPECT_FALSE(excludes(wireless, allOnes));
}

TEST(DependsOn, ThroughProvidesAndMembers) {
  Record web("web", ver(1, 0));
  web.deps = {need("system", ver(2, 0))};
  Record oldSystem("system", ver(1, 0));
  EXPECT_FALSE(dependsOn(web, oldSystem));
  Record provider("base", ver(1, 0));
  provider.provides = {need("system", ver(2, 0), ver(3, 0))};
  EXPECT_TRUE(dependsOn(web, provider));

  Record bundle("routeros", ver(1, 0));
  bundle.member("system", ver(2, 1));
  EXPECT_TRUE(dependsOn(web, bundle));  // a member of the other side
  EXPECT_FALSE(dependsOn(bundle, web));
  Record outer("outer", ver(1, 0));
  outer.members.push_back(new Record("web", ver(1, 0)));
  outer.members.back()->deps = web.deps;
  EXPECT_TRUE(dependsOn(outer, bundle));  // a member of its own side
}

TEST(CompareVersions, VersionThenBuildTimeAndThroughMembers) {
  EXPECT_EQ(0, compareVersions(Record("s", ver(2, 0), 5), Record("s", ver(2, 0), 5)));
  EXPECT_EQ(1, compareVersions(Record("s", ver(2, 0), 6), Record("s", ver(2, 0), 5)));
  EXPECT_EQ(-1, compareVersions(Record("s", ver(2, 0), 9), Record("s", ver(2, 1), 0)));
  EXPECT_EQ(1, compareVersions(Record("s", 0x80000000), Record("s", 0x7FFFFFFF)));

  Record bundle("routeros", ver(1, 0));
  bundle.member("ppp", ver(1, 0)).member("system", ver(2, 0));
  const Record system("system", ver(1, 0));
  EXPECT_EQ(1, compareVersions(bundle, system));
  EXPECT_EQ(-1, compareVersions(system, bundle));
  EXPECT_EQ(0, compareVersions(bundle, Record("dhcp", ver(9, 0))));

  EXPECT_EQ(-1, compareDirected(bundle, system, true));
  EXPECT_EQ(1, compareDirected(system, bundle, true));
  EXPECT_EQ(1, compareDirected(bundle, system, false));
}

}  // namespace
