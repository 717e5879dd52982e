// Package records filled from the metadata parts of a package file.
#pragma once

#include <string>
#include <vector>

#include "pkg/package.h"
#include "pkgfile/package_reader.h"

// Appends the entries of the reference list in the current part to list.
// False when the part ends before the count or an entry is read whole.
bool readRefList(PackageReader& reader, std::vector<DependencyEntry>& list);

// Fills package from the header part the reader stands on (type 1 or 18)
// and the metadata parts that follow it in their fixed order: 24, 16, 2,
// 23, 3, 19, 17, then 21. Leaves the reader on the first part it did not
// take. False when the reader is not on a header, the header is short, its
// name cannot be used as a package name, or a reference list is cut short;
// on a bad header the record is left as it was.
bool readPackageInfo(Package& package, PackageReader& reader);

// Reads the metadata of the package file at path, with the members of a
// bundle. False when the file cannot be read, its size on disk differs from
// what its header says, or a bundle has no members.
bool readPackageFile(PackageFile& file, const std::string& path);
