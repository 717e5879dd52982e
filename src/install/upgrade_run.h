// The upgrade run: installs the package files found in the download
// directories, places package images and enables again what was enabled
// before. Everything is staged in the manifest; a failure empties it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "changes/manifest.h"
#include "pkg/package_db.h"

// The package files that an upgrade run installs, in installation order,
// and the installFlags it runs with.
struct UpgradeCandidates {
  std::vector<std::unique_ptr<PackageFile>> files;
  uint32_t installFlags = 0;
};

// Reads the downgrade marker, which allows downgrades, scans the package
// directories and selects the files to install.
UpgradeCandidates findUpgradeCandidates(PackageDb& db, uint32_t installFlags);

void upgradeRun(PackageDb& db, Manifest& manifest, const UpgradeCandidates& candidates);
