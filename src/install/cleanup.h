// The cleanup run: obsolete packages are scheduled for removal.
#pragma once

#include "changes/manifest.h"
#include "pkg/package_db.h"

// Schedules every package that is neither protected, nor a bundle, nor made
// for a recent enough system for uninstall, and stages the removals. Returns
// the result of the request pass that carries them out.
bool cleanupRun(PackageDb& db, Manifest& manifest);
