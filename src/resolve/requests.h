// The request pass: uninstall, enable and disable requests of the installed
// packages (their scheduled actions) become a consistent plan, which is then
// staged: removals first, enables after.
//
// A record with an empty name is a placeholder that a bundle install puts in
// the list for its conflicts alone: the pass never plans or applies anything
// for it.
#pragma once

#include <string>
#include <vector>

#include "changes/manifest.h"
#include "pkg/package_db.h"

using PackageList = std::vector<InstalledPackage*>;

// Resolves the requests and applies the plan. False when the pass refused or
// planned nothing.
bool processRequests(PackageDb& db, Manifest& manifest, int report);

// The pass itself: fills the removal list (reverse list order) and the
// enable list (each package after those that it needs). False, with every
// request cleared, when it would leave no package enabled. Report 0 prints
// nothing, 1 the warnings and the error.
bool resolveRequests(PackageDb& db, PackageList& removals, PackageList& enables, int report);

// The same pass by the plain algorithm, which scans the whole list at every
// step and starts settling dependencies over after every change. Slow on long
// lists; resolveRequests must always come to the same plan, requests and
// messages.
bool resolveRequestsByScanning(PackageDb& db, PackageList& removals, PackageList& enables, int report);

// Disables or uninstalls each record of the list. Report 1 shows the
// disables, 2 the uninstalls too. Uninstalled records leave the package list
// and are destroyed.
void applyRemovals(PackageDb& db, Manifest& manifest, const PackageList& removals, int report);

// Enables each record of the list; report 1 shows them.
void applyEnables(PackageDb& db, Manifest& manifest, const PackageList& enables, int report);

// Removes the first package of that name, its files and database entry;
// false when there is none.
bool uninstallByName(PackageDb& db, Manifest& manifest, const std::string& name);
