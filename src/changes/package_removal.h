// Staging the removal of an installed package: its files, its database
// directory, its stored image and, for a boot package, the boot image.
#pragma once

#include "changes/manifest.h"
#include "pkg/package.h"

// Stages every removal, empties the package's file list and clears its
// scheduled action.
void removePackageFiles(InstalledPackage& package, Manifest& manifest);
