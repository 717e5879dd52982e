// The table of installed packages printed by --show.
#pragma once

#include "pkg/package_db.h"

void showPackages(const PackageDb& db);
