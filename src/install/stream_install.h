// Installing one package file, a single package or a bundle, from a stream:
// judged against what is installed, the replaced package staged for
// removal, the contents unpacked into staged files, the new record added to
// the package list. The caller applies or drops the Manifest.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>

#include "changes/manifest.h"
#include "pkg/package_db.h"
#include "pkgfile/package_reader.h"

// The enabled or disabled state that the user chose for installed packages:
// name -> disabled.
using ForcedStates = std::map<std::string, bool>;

// Status of installFromStream: 0 installed; for a single package 1 failed;
// for a bundle the status of installBundle.
int installFromStream(PackageDb& db, Manifest& manifest, std::istream& in, uint32_t installFlags,
                      const ForcedStates& forcedStates, std::streambuf* copyTarget,
                      std::string* directoryOut, bool* bootOut);

// Installs the package whose header the reader stands on. bundleRef is null
// for a package on its own, else the bundle it belongs to. Returns the
// record now in the package list that stands for it, or null.
InstalledPackage* installSinglePackage(PackageDb& db, Manifest& manifest, PackageReader& reader,
                                       uint32_t installFlags, const ForcedStates& forcedStates,
                                       const DependencyEntry* bundleRef, std::string* directoryOut,
                                       bool* bootOut);

// 0 installed; 1 bad bundle header, a bundle with relations, or its database
// entry not staged; 2 bundle refused, a member failed or parts left over;
// 3 no member.
int installBundle(PackageDb& db, Manifest& manifest, PackageReader& reader, uint32_t installFlags,
                  const ForcedStates& forcedStates, std::string* directoryOut, bool* bootOut);
