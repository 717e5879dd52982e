// The package database on disk: one directory of meta files per installed
// package under /flash/var/pdb/, package images kept whole, and the schedule
// files that other parts of the system leave under /ram/pdb/.
#pragma once

#include <string>
#include <vector>

#include "pkg/install_failure.h"
#include "pkg/package_db.h"

struct Manifest;

// How much of each package a run needs: all of it, or only what the package
// listing prints (name, version, build time, note, the bundle it came with
// and whether it is disabled), which leaves relations, file lists, the
// enabled mark and schedule files unread, or that and the file lists (the
// contents of a device root, shown by pkgtool query). Neither of the last
// two ever marks a damaged entry for uninstalling.
enum class DatabaseLoad { Full, Listing, Contents };

// Fills the package list from the database; called once at start.
void loadDatabase(PackageDb& db, bool quiet, const std::string& systemArch,
                  DatabaseLoad load = DatabaseLoad::Full);

// Fills the package list from the database of the device root whose
// directory root is (a descriptor), without changing root: for a copied or
// mounted flash on another machine. Every path of the device is taken below
// root, and no link or ".." there leads out of it (DeviceRootHold). Nothing
// is printed, and nothing can be staged: the images that a run would remove
// are only named in db.staleImages.
void loadDatabaseInRoot(PackageDb& db, int root, DatabaseLoad load);

// Stages the removal of the images that outlived their package, each said
// with a WARNING.
void stageStaleImageRemovals(PackageDb& db, Manifest& manifest);

// Reads one package's meta files (unless it was filled from an image), its
// disabled and enabled marks and its schedule file.
void loadPackage(InstalledPackage& package);

// loadPackage, or the listing's part of it, from a copy of the database
// kept elsewhere: the meta files and marks from dir, the schedule file from
// scheduleBase + the directory name of the package + "/schedule" (both
// directories named with a final "/"); warnings go to db.
void loadPackageFrom(PackageDb& db, InstalledPackage& package, const std::string& dir,
                     const std::string& scheduleBase, DatabaseLoad load);

// The directory name of a package's schedule file: the name with everything
// but ASCII letters, digits and "-" left out.
std::string sanitisedName(const std::string& name);

// Stages every database file of the package and its marks; what went wrong
// when a file could not be written.
InstallFailure savePackage(InstalledPackage& package, Manifest& manifest);
// Reclaims the package's database directory (staged for removal earlier in
// the run), then saves into it.
InstallFailure saveIntoFreshDirectory(InstalledPackage& package, Manifest& manifest);

// Stage the disabled or enabled state of a package through the manifest.
void markDisabled(InstalledPackage& package, Manifest& manifest);
void markEnabled(InstalledPackage& package, Manifest& manifest);
