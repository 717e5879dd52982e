// Small package sets written out by hand for the resolver's tests.
#pragma once

#include <string>
#include <vector>

#include "pkg/package_db.h"

namespace resolvetest {

// major.minor final.
constexpr Version ver(unsigned major, unsigned minor) { return major << 24 | minor << 16 | 'f' << 8; }

inline DependencyEntry need(const std::string& name, Version min = 0, Version max = 0, int32_t extra = 0) {
  return DependencyEntry{name, min, max, extra};
}

// A PackageDb whose list is filled by hand.
struct PackageSet {
  PackageDb db;

  InstalledPackage& add(const std::string& name, Version version = ver(1, 0), bool disabled = false) {
    auto* package = new InstalledPackage(name);
    package->version = version;
    package->disabled = disabled;
    db.packages.push_back(package);
    return *package;
  }

  InstalledPackage& operator[](const std::string& name) { return *db.lookupByName(name); }

  // The names of the listed records, in their order.
  std::vector<std::string> listed() const {
    std::vector<std::string> result;
    for (const InstalledPackage* package : db.packages) result.push_back(package->name);
    return result;
  }
};

}  // namespace resolvetest
