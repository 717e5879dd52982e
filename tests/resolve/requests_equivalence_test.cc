// resolveRequests against the plain, scanning form of the same pass, on many
// generated package sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "resolve/providers.h"
#include "resolve/requests.h"
#include "scanning_pass.h"

namespace {

// The names that the generated records bear, provide and ask for.
std::vector<std::string> generatedNames() {
  std::vector<std::string> names{""};
  for (int i = 0; i <= 11; ++i) names.push_back("p" + std::to_string(i));
  for (int i = 0; i <= 3; ++i) names.push_back("v" + std::to_string(i));
  return names;
}

// Lists of up to 40 records over a few names, so that names, provided
// names, bundles and conflicts meet often.
class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  void fill(PackageDb& db) {
    for (int count = pick(0, 40); count > 0; --count) db.packages.push_back(record());
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }
  std::string name() { return chance(3) ? std::string() : "p" + std::to_string(pick(0, 11)); }
  Version version() { return chance(30) ? 0 : static_cast<Version>(pick(1, 4)); }

  std::vector<DependencyEntry> entries(int most) {
    std::vector<DependencyEntry> list(pick(0, most));
    for (DependencyEntry& e : list)
      e = DependencyEntry{chance(70) ? name() : "v" + std::to_string(pick(0, 3)), version(), version(), pick(-2, 2)};
    return list;
  }

  InstalledPackage* record() {
    auto* package = new InstalledPackage(name());
    package->version = static_cast<Version>(pick(1, 4));
    package->buildTime = static_cast<uint32_t>(pick(0, 1));
    if (chance(3)) package->version = package->buildTime = 0xFFFFFFFF;
    package->deps = entries(3);
    package->provides = entries(2);
    package->conflicts = chance(40) ? entries(2) : std::vector<DependencyEntry>{};
    package->isBundle = chance(10);
    if (chance(25)) package->bundle.name = name();
    if (chance(20)) {
      package->members.push_back(new Package(name()));
      package->members.back()->conflicts = entries(1);
      package->members.back()->provides = entries(1);
    }
    package->disabled = chance(35);
    package->scheduled = static_cast<ScheduledAction>(chance(50) ? 0 : pick(0, 3));
    return package;
  }

  std::mt19937 random_;
};

// What a pass leaves: whether it resolved, the requests, the plans (-
// removals, + enables, by position), then the messages.
template <class Resolve>
std::string outcome(uint32_t seed, Resolve resolve) {
  PackageDb db;
  Generator(seed).fill(db);
  PackageList removals, enables;
  testing::internal::CaptureStdout();
  std::string text = resolve(db, removals, enables, REPORT_CHANGES) ? "resolved" : "refused";
  testing::internal::GetCapturedStdout();
  const auto position = [&db](const InstalledPackage* package) {
    return std::to_string(std::find(db.packages.begin(), db.packages.end(), package) - db.packages.begin());
  };
  for (const InstalledPackage* package : db.packages) text += " " + std::to_string(package->scheduled);
  for (const InstalledPackage* package : removals) text += " -" + position(package);
  for (const InstalledPackage* package : enables) text += " +" + position(package);
  for (const std::string& message : db.messages) text += "\n" + message;
  return text;
}

TEST(RequestPassEquivalence, IndexedPassMatchesTheScanningOne) {
  int differing = 0, withChanges = 0, withMessages = 0;
  for (uint32_t seed = 1; seed <= 3000 && differing < 5; ++seed) {
    const std::string plain = outcome(seed, resolveRequestsByScanning), fast = outcome(seed, resolveRequests);
    EXPECT_EQ(plain, fast) << "seed " << seed;
    differing += plain != fast;
    withChanges += plain.substr(0, plain.find('\n')).find_first_of("+-") != std::string::npos;
    withMessages += plain.find('\n') != std::string::npos;
  }
  // The sets exercise the pass rather than passing through it.
  EXPECT_GT(withChanges, 1500);
  EXPECT_GT(withMessages, 300);
}

// The index finds what the scan finds, also after records have been enabled
// and disabled since it was built.
TEST(NameOrProvidesIndex, FindsWhatTheScanFinds) {
  for (uint32_t seed = 1; seed <= 3000; ++seed) {
    PackageDb db;
    Generator(seed).fill(db);
    const NameOrProvidesIndex index(db.packages);
    for (int round = 0; round < 2; ++round) {
      for (const std::string& name : generatedNames())
        ASSERT_EQ(findByNameOrProvides(db, name), index.find(name)) << "seed " << seed << " name " << name;
      for (size_t i = 0; i < db.packages.size(); i += 3) db.packages[i]->disabled = !db.packages[i]->disabled;
    }
  }
}

}  // namespace
