// resolveRequests against the plain, scanning form of the same pass, on many
// generated package sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "resolve/requests.h"
#include "scanning_pass.h"

namespace {

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  // A list of up to 40 records over a few names, so that names, provided
  // names, bundles and conflicts meet often.
  void fill(PackageDb& db) {
    const int count = pick(0, 40);
    for (int i = 0; i < count; ++i) db.packages.push_back(record());
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }
  std::string name() { return chance(3) ? std::string() : "p" + std::to_string(pick(0, 11)); }
  Version version() { return chance(30) ? 0 : static_cast<Version>(pick(1, 4)); }

  DependencyEntry entry() {
    return DependencyEntry{chance(70) ? name() : "v" + std::to_string(pick(0, 3)), version(), version(),
                           pick(-2, 2)};
  }

  std::vector<DependencyEntry> entries(int most) {
    std::vector<DependencyEntry> list(pick(0, most));
    for (DependencyEntry& e : list) e = entry();
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

// What a pass leaves behind, positions standing for records.
struct Outcome {
  bool resolved;
  std::vector<size_t> requests, removals, enables;
  std::vector<std::string> messages;

  bool operator==(const Outcome& o) const {
    return std::tie(resolved, requests, removals, enables, messages) ==
           std::tie(o.resolved, o.requests, o.removals, o.enables, o.messages);
  }
};

template <class Resolve>
Outcome run(uint32_t seed, Resolve resolve) {
  PackageDb db;
  Generator(seed).fill(db);
  PackageList removals, enables;
  Outcome outcome;
  testing::internal::CaptureStdout();
  outcome.resolved = resolve(db, removals, enables, 1);
  testing::internal::GetCapturedStdout();
  const auto position = [&db](const InstalledPackage* package) {
    return size_t(std::find(db.packages.begin(), db.packages.end(), package) - db.packages.begin());
  };
  for (const InstalledPackage* package : db.packages) outcome.requests.push_back(package->scheduled);
  for (const InstalledPackage* package : removals) outcome.removals.push_back(position(package));
  for (const InstalledPackage* package : enables) outcome.enables.push_back(position(package));
  outcome.messages = db.messages;
  return outcome;
}

TEST(RequestPassEquivalence, IndexedPassMatchesTheScanningOne) {
  int differing = 0, withChanges = 0, withMessages = 0;
  for (uint32_t seed = 1; seed <= 3000; ++seed) {
    const Outcome fast = run(seed, resolveRequests);
    const Outcome plain = run(seed, resolveRequestsByScanning);
    if (!(fast == plain)) {
      ADD_FAILURE() << "seed " << seed;
      if (++differing == 5) break;
    }
    withChanges += !plain.removals.empty() || !plain.enables.empty();
    withMessages += !plain.messages.empty();
  }
  // The sets exercise the pass rather than passing through it.
  EXPECT_GT(withChanges, 1500);
  EXPECT_GT(withMessages, 300);
}

}  // namespace
