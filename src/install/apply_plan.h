// Carrying out the plans of the request pass: disables and uninstalls
// first, enables after, all staged in the manifest.
#pragma once

#include <string>

#include "changes/manifest.h"
#include "pkg/package_db.h"
#include "resolve/requests.h"

// Resolves the requests and applies the plan. False when the pass refused or
// planned nothing.
bool processRequests(PackageDb& db, Manifest& manifest, int report);

// Disables or uninstalls each record of the list. REPORT_CHANGES shows the
// disables, REPORT_ALL the uninstalls too. Uninstalled records leave the
// package list and are destroyed.
void applyRemovals(PackageDb& db, Manifest& manifest, const PackageList& removals, int report);

// Enables each record of the list; REPORT_CHANGES shows them.
void applyEnables(PackageDb& db, Manifest& manifest, const PackageList& enables, int report);

// Removes the first package of that name, its files and database entry;
// false when there is none.
bool uninstallByName(PackageDb& db, Manifest& manifest, const std::string& name);
