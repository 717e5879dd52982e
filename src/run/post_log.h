// The post-install log /flash/postlog: the messages of the runs that install
// packages, one per line, kept across runs.
#pragma once

#include "pkg/package_db.h"

// Puts the complete lines of the log in front of this run's messages and
// blanks the file (4096 zero bytes), so that the next write rewrites it.
void readPostLog(PackageDb& db);

// Appends this run's messages to the log, or rewrites it whole after
// readPostLog. Does nothing when there is nothing to say.
void writePostLog(PackageDb& db);
