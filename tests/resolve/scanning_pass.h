// The request pass in its plain form: every lookup scans the whole list,
// and settling dependencies starts over from the first record after every
// change. Slow on long lists; the indexed pass must come to the same plan,
// requests and messages.
#pragma once

#include "resolve/candidate.h"
#include "resolve/requests.h"

class ScanningRequestPass : public RequestPass {
 public:
  using RequestPass::RequestPass;

 protected:
  PackageList providers(const DependencyEntry& requirement) const override {
    return findProviders(db_, requirement, true);
  }
  std::vector<size_t> exclusionPartners(size_t index) const override {
    std::vector<size_t> everyOther;
    for (size_t i = 0; i < packages_.size(); ++i)
      if (i != index) everyOther.push_back(i);
    return everyOther;
  }
  void settleDependencies() override {
    for (size_t i = 0; i < packages_.size();) {
      bool changed = false;
      for (const DependencyEntry& dependency : packages_[i]->deps)
        if ((changed = loseRequirement(*packages_[i], providers(dependency)))) break;
      i = changed ? 0 : i + 1;
    }
  }
};

inline bool resolveRequestsByScanning(PackageDb& db, PackageList& removals, PackageList& enables,
                                      int report) {
  return ScanningRequestPass(db, report).resolve(removals, enables);
}
