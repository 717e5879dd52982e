#include "resolve/relations.h"

#include <gtest/gtest.h>

#include "package_set.h"

using namespace resolvetest;

namespace {

using Entries = std::vector<DependencyEntry>;

// A free-standing record; members are owned by their bundle.
struct Record : Package {
  Record(const std::string& name, Version v, uint32_t built = 0) : Package(name) {
    version = v;
    buildTime = built;
  }
  Record& member(const std::string& name, Version v, const Entries& deps = {}) {
    members.push_back(new Record(name, v));
    members.back()->deps = deps;
    return *this;
  }
};

TEST(Ranges, BoundsAreInclusiveAndZeroIsOpen) {
  const Record system("system", ver(2, 5));
  EXPECT_TRUE(satisfies(system, need("system")));
  EXPECT_TRUE(satisfies(system, need("system", ver(2, 5), ver(2, 5))));
  EXPECT_FALSE(satisfies(system, need("system", ver(2, 5) + 1)));
  EXPECT_FALSE(satisfies(system, need("system", 0, ver(2, 5) - 1)));
  EXPECT_FALSE(satisfies(system, need("System")));
  EXPECT_FALSE(satisfies(system, need("systemx")));
  // Unsigned: a version with the top bit set is above every bound below it.
  EXPECT_TRUE(satisfies(Record("system", 0x90000000), need("system", ver(3, 0))));

  EXPECT_TRUE(rangesOverlap(need("x"), need("x", 8, 9)));
  EXPECT_FALSE(rangesOverlap(need("x", 5, 7), need("x", 8, 0)));
  EXPECT_TRUE(rangesOverlap(need("x", 5, 7), need("x", 0, 5)));
  EXPECT_TRUE(rangesOverlap(need("x", 5, 7), need("x", 7, 0)));
  EXPECT_FALSE(rangesOverlap(need("x", 5, 0), need("x", 0, 4)));
  EXPECT_FALSE(rangesOverlap(need("x"), need("y")));
  Record provider("p", ver(1, 0));
  provider.provides = {need("a", 1, 2), need("x", 5, 7)};
  EXPECT_TRUE(providesFor(provider, need("x", 6)));
  EXPECT_FALSE(providesFor(provider, need("x", 8)));
  EXPECT_FALSE(providesFor(provider, need("p")));  // its own name is not a provides entry
}

TEST(Excludes, ConflictsAndTheStrengthOfProvidedNames) {
  struct Case {
    Entries aConflicts, aProvides, bProvides;
    bool aExcludesB, bExcludesA;
  };
  const Case cases[] = {
      {{}, {}, {}, false, false},
      {{need("b", ver(3, 0))}, {}, {}, false, false},  // b is too old to conflict
      {{need("b", 0, ver(2, 0))}, {}, {}, true, false},
      // b providing a's name yields to a with a negative strength, else
      // replaces it...
      {{}, {}, {need("a", 0, 0, -1)}, true, false},
      {{}, {}, {need("a", 0, 0, 0)}, false, true},
      // ...and that entry decides before a's conflicts with what b provides.
      {{need("virtual")}, {}, {need("a", 0, 0, 0), need("virtual")}, false, true},
      {{need("virtual")}, {}, {need("virtual")}, true, false},
      // The same from a's side.
      {{}, {need("b", 0, 0, 0)}, {}, true, false},
      {{}, {need("b", 0, 0, -1)}, {}, false, true},
      // The same provided name: the stronger one wins, strengths compared
      // signed; equal ones live together.
      {{}, {need("shell", 0, 0, 2)}, {need("shell", 0, 0, 1)}, true, false},
      {{}, {need("shell", 0, 0, 2)}, {need("shell", 0, 0, 2)}, false, false},
      {{}, {need("shell", 0, 0, 1)}, {need("shell", 0, 0, -2)}, true, false},
  };
  for (const Case& c : cases) {
    Record a("a", ver(1, 0)), b("b", ver(2, 0));
    a.conflicts = c.aConflicts;
    a.provides = c.aProvides;
    b.provides = c.bProvides;
    EXPECT_EQ(c.aExcludesB, excludes(a, b)) << "case " << &c - cases;
    EXPECT_EQ(c.bExcludesA, excludes(b, a)) << "case " << &c - cases;
  }
}

TEST(Excludes, BundlesAndAllOnesRecords) {
  Record bundle("bundle", ver(1, 0));
  bundle.member("ppp", ver(1, 0));
  bundle.isBundle = true;
  const Record ppp("ppp", ver(2, 0));
  EXPECT_TRUE(excludes(ppp, bundle));  // the bundle holds a package of ppp's name
  EXPECT_FALSE(excludes(bundle, ppp));
  bundle.member("wireless", ver(1, 0));
  bundle.members.back()->conflicts = {need("ppp")};
  EXPECT_TRUE(excludes(bundle, ppp));  // through its member

  Record allOnes("x", 0xFFFFFFFF, 0xFFFFFFFF);
  allOnes.conflicts = {need("ppp")};
  EXPECT_FALSE(excludes(allOnes, ppp));
  Record wireless("wireless", ver(1, 0));
  wireless.conflicts = {need("x")};
  EXPECT_FALSE(excludes(wireless, allOnes));
}

TEST(DependsOn, ThroughProvidesAndMembers) {
  Record web("web", ver(1, 0));
  web.deps = {need("system", ver(2, 0))};
  EXPECT_FALSE(dependsOn(web, Record("system", ver(1, 0))));
  Record provider("base", ver(1, 0));
  provider.provides = {need("system", ver(2, 0), ver(3, 0))};
  EXPECT_TRUE(dependsOn(web, provider));

  Record bundle("routeros", ver(1, 0));
  bundle.member("system", ver(2, 1));
  EXPECT_TRUE(dependsOn(web, bundle));  // a member of the other side
  EXPECT_FALSE(dependsOn(bundle, web));
  Record outer("outer", ver(1, 0));
  EXPECT_TRUE(dependsOn(outer.member("web", ver(1, 0), web.deps), bundle));  // a member of its own side
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
}

}  // namespace
