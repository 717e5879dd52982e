// The package database on disk: one directory of meta files per installed
// package under /flash/var/pdb/, and package images kept whole.
#pragma once

#include <string>

#include "pkg/package_db.h"

// Fills the package list from the database; called once at start.
void loadDatabase(PackageDb& db, bool quiet, const std::string& systemArch);
