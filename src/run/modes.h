// The four run modes: show, cleanup, stream (one package from standard
// input) and default (the upgrade).
#pragma once

#include "pkg/package_db.h"
#include "run/command_line.h"

// Runs the mode that the settings select and returns the run's exit status.
int runMode(PackageDb& db, const RunSettings& settings);

int showMode(PackageDb& db);
int cleanupMode(PackageDb& db);
int streamMode(PackageDb& db, const RunSettings& settings);
int defaultMode(PackageDb& db, const RunSettings& settings);
