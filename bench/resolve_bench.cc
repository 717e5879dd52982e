// Times the request pass and provider selection on generated package sets
// of growing size. Run by scripts/bench.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pkg/package_db.h"
#include "resolve/providers.h"
#include "resolve/requests.h"
#include "resolve/scanning_pass.h"

namespace {

constexpr Version ver(unsigned major, unsigned minor) { return major << 24 | minor << 16 | 'f' << 8; }

DependencyEntry entry(const std::string& name, int32_t extra = 0) {
  return DependencyEntry{name, 0, 0, extra};
}

// An installed system of count packages: chains of ten packages, each
// needing the one before it; the fifth of chain k provides "service<k>",
// which the first of chains 2k+1 and 2k+2 need, so that the chains form a
// tree. Besides: a name provided by many, conflicts, bundles
// of five, disabled packages and requests of every kind, some of them
// refused; and one long chain, a quarter of the list, hanging off a package
// that a disabled package with an enable request excludes.
void fillInstalled(PackageDb& db, int count) {
  auto add = [&](const std::string& name) {
    db.packages.push_back(new InstalledPackage(name));
    db.packages.back()->version = ver(1, 0);
    return db.packages.back();
  };
  const std::string name = "pkg";
  const int chain = count / 4;
  const int chained = count - chain - 2;
  for (int i = 0; i < chained; ++i) {
    InstalledPackage* package = add(name + std::to_string(i));
    const int k = i / 10;
    if (i % 10 != 0)
      package->deps.push_back(entry(name + std::to_string(i - 1)));
    else if (k > 0)
      package->deps.push_back(entry("service" + std::to_string((k - 1) / 2)));
    if (i % 10 == 5) package->provides.push_back(entry("service" + std::to_string(k)));
    if (i % 7 == 3) package->provides.push_back(entry("shell"));
    if (i % 50 == 25) package->conflicts.push_back(entry(name + std::to_string(i + 14)));  // a leaf
    if (i % 11 == 4) package->disabled = true;
    if (i % 100 == 90) {
      package->isBundle = true;
      for (int m = 1; m <= 5; ++m) db.packages[i - m]->bundle = entry(package->name);
    }
    if (i % 37 == 36) package->scheduled = SCHEDULE_UNINSTALL;
    if (i % 41 == 40) package->scheduled = SCHEDULE_DISABLE;
    if (i % 11 == 4 && i % 3 == 0) package->scheduled = SCHEDULE_ENABLE;
    if (i % 200 == 190) package->scheduled = SCHEDULE_DISABLE;  // a bundle
  }
  InstalledPackage* head = add("chain-end");
  for (int i = 0; i < chain; ++i)
    add("chain" + std::to_string(i))
        ->deps.push_back(entry(i == 0 ? "chain-end" : "chain" + std::to_string(i - 1)));
  InstalledPackage* rival = add("rival");
  rival->disabled = true;
  rival->scheduled = SCHEDULE_ENABLE;
  rival->conflicts.push_back(entry(head->name));
}

// count package files: two versions of most packages, bundles that hold
// packages also offered on their own, and dependencies between them.
void fillCandidates(std::vector<std::unique_ptr<PackageFile>>& files, int count) {
  for (int i = 0; files.size() < size_t(count); ++i) {
    auto file = std::make_unique<PackageFile>("pkg" + std::to_string(i / 2));
    file->version = ver(1, i % 2 + (i % 5 == 0 ? 2 : 0));
    if (i > 2) file->deps.push_back(entry("pkg" + std::to_string(i / 2 - 1)));
    if (i % 9 == 0) file->provides.push_back(entry("service" + std::to_string(i % 13)));
    if (i % 25 == 0) {
      file->name = "bundle" + std::to_string(i);
      file->isBundle = true;
      for (int m = 0; m < 5; ++m) {
        file->members.push_back(new Package("pkg" + std::to_string(i / 2 + m)));
        file->members.back()->version = ver(1, 1);
      }
    }
    files.push_back(std::move(file));
  }
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The shortest of a few runs, each on a fresh set.
template <class Run>
double fastest(int runs, Run run) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) best = std::min(best, run());
  return best;
}

// What a pass planned, for telling the two forms apart.
struct Plan {
  std::vector<int> requests;
  size_t removals = 0, enables = 0, messages = 0;
  bool operator==(const Plan& o) const {
    return requests == o.requests && removals == o.removals && enables == o.enables && messages == o.messages;
  }
};

double timePass(int count, bool scanning, Plan* plan = nullptr) {
  PackageDb db;
  db.quiet = true;
  fillInstalled(db, count);
  PackageList removals, enables;
  const auto start = std::chrono::steady_clock::now();
  if (scanning)
    resolveRequestsByScanning(db, removals, enables, REPORT_CHANGES);
  else
    resolveRequests(db, removals, enables, REPORT_CHANGES);
  const double taken = seconds(std::chrono::steady_clock::now() - start);
  if (plan) {
    for (const InstalledPackage* package : db.packages) plan->requests.push_back(package->scheduled);
    plan->removals = removals.size();
    plan->enables = enables.size();
  }
  return taken;
}

double timeSelection(int count) {
  PackageDb db;
  db.quiet = true;
  std::vector<std::unique_ptr<PackageFile>> files;
  fillCandidates(files, count);
  std::vector<PackageFile*> list;
  for (auto& file : files) list.push_back(file.get());
  const auto start = std::chrono::steady_clock::now();
  selectProviders(db, list, NO_VERSION_FLOOR, true);
  return seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  // "--quick" leaves out the scanning pass on the largest set.
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  for (int count : {250, 500, 1000}) {
    Plan plan;
    timePass(count, false, &plan);
    std::printf("request pass, %4d installed packages: %8.4f s  (%zu removals, %zu enables)", count,
                fastest(5, [&] { return timePass(count, false); }), plan.removals, plan.enables);
    if (!quick || count < 1000) {
      Plan scanned;
      const double taken = timePass(count, true, &scanned);
      std::printf("  scanning form %8.4f s, %s plan", taken, scanned == plan ? "same" : "DIFFERENT");
    }
    std::printf("\n");
  }
  for (int count : {250, 500, 1000})
    std::printf("selectProviders, %4d candidates:      %8.4f s\n", count,
                fastest(5, [&] { return timeSelection(count); }));
  return 0;
}
