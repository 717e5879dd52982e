// Records of the packages kept as whole package files (images) in the
// database.
#pragma once

#include <string>

#include "pkg/package_db.h"

// Reads the image at path, when it opens, and appends its records: a
// bundle's members (each naming the bundle) and then the bundle, or the one
// package. A package whose header cannot be read is still appended, named
// after its database entry with version 0, so that its meta files are read.
void loadImageRecords(PackageDb& db, const std::string& path, const std::string& entryName);
