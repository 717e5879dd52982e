// Installing one package file, a single package or a bundle, from a stream:
// judged against what is installed, the replaced package staged for
// removal, the contents unpacked into staged files, the new record added to
// the package list. The caller applies or drops the Manifest.
#pragma once

#include <istream>

#include "install/install_context.h"
#include "pkgfile/package_reader.h"

// status 0 installed; for a single package 1 failed; for a bundle the
// status of installBundle. The stream's bytes are copied to the context's
// copy target as they are read.
InstallResult installFromStream(const InstallContext& context, std::istream& in);

// Installs the package whose header the reader stands on. bundleRef is null
// for a package on its own, else the bundle it belongs to. The result's
// installed record is the one now in the package list that stands for the
// package, or null; its status is 0 with a record, else 1.
InstallResult installSinglePackage(const InstallContext& context, PackageReader& reader,
                                   const DependencyEntry* bundleRef);

// status 0 installed; 1 bad bundle header, a bundle with relations, or its
// database entry not staged; 2 bundle refused, a member failed or parts
// left over; 3 no member.
InstallResult installBundle(const InstallContext& context, PackageReader& reader);
