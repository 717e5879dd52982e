// The run-wide state: the package list, the system architecture and the
// console state.
#pragma once

#include <string>
#include <vector>

#include "pkg/package.h"

struct PackageDb {
  PackageDb() = default;
  PackageDb(const PackageDb&) = delete;
  PackageDb& operator=(const PackageDb&) = delete;
  ~PackageDb();

  // Index of the first package whose name matches, or -1.
  int findByName(const std::string& name) const;
  // The first package whose name matches, or null.
  InstalledPackage* lookupByName(const std::string& name) const;

  std::string systemArch;
  std::vector<InstalledPackage*> packages;  // owned, in load order
  std::string statusLine;
  std::vector<std::string> messages;
  bool quiet = false;
  // Images in the second place that outlived their package: its database
  // entry now holds another version. Not loaded; a run removes them.
  std::vector<std::string> staleImages;
};

// The one PackageDb of the run: created empty on first use, never destroyed.
PackageDb& packageDb();
