// The four run modes: show, cleanup, stream (one package from standard
// input) and default (the upgrade).
#pragma once

#include "changes/commit.h"
#include "changes/manifest.h"
#include "pkg/package_db.h"
#include "run/command_line.h"

// The status of a run whose file changes could not all be made, or whose
// saved manifest could not be written whole.
constexpr int COMMIT_FAILED_STATUS = 5;

// Runs the mode that the settings select and returns the run's exit status.
int runMode(PackageDb& db, const RunSettings& settings);

int showMode(PackageDb& db);
int cleanupMode(PackageDb& db);
int streamMode(PackageDb& db, const RunSettings& settings);
int defaultMode(PackageDb& db, const RunSettings& settings);

// Saves the Manifest to /ram/MANIFEST for a later --commit or --cancel. A
// plan that cannot be saved whole is reported and dropped, and no
// /ram/MANIFEST is left: status COMMIT_FAILED_STATUS, else 0.
int saveForLater(PackageDb& db, Manifest& manifest);

// Prints an ERROR line for every failed file operation: status
// COMMIT_FAILED_STATUS when there was any, else 0.
int reportCommitFailures(PackageDb& db, const CommitFailures& failures);
