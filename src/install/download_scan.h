// Gathering the package files that the upgrade machinery left in a package
// directory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pkg/package_db.h"

// Appends a PackageFile for every readable ".npk" or ".dpk" file of the
// directory whose name does not begin with ".", in directory order, and
// reports the others as broken. directory ends with "/".
void scanDownloads(PackageDb& db, const std::string& directory,
                   std::vector<std::unique_ptr<PackageFile>>& list);
