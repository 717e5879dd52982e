// Unpacking a package from its reader: the files of its payload become
// staged files, its signature is checked and its database entry is staged.
#pragma once

#include <string>

#include "install/install_context.h"
#include "pkg/install_failure.h"
#include "pkgfile/package_reader.h"

// Takes the rest of the package from the reader, which stands on the first
// part after the package's header parts, up to the part after its Signature
// part. Prints only the progress and, for a package on its own, that it was
// installed; what went wrong is returned for the caller to report.
InstallFailure installFromReader(const InstallContext& context, InstalledPackage& package,
                                 PackageReader& reader);

// Where an entry of the payload lands: under /flash, or under
// /flash/x/<name> for a disabled package.
std::string entryTarget(const InstalledPackage& package, const std::string& entryName);
