// The upgrade run: installs the package files found in the download
// directories, places package images and enables again what was enabled
// before. Everything is staged in the manifest; a failure empties it.
#pragma once

#include <cstdint>

#include "changes/manifest.h"
#include "pkg/package_db.h"

void upgradeRun(PackageDb& db, Manifest& manifest, uint32_t installFlags);
