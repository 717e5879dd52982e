// The post-install log /flash/postlog: the messages of the runs that install
// packages, one per line, kept across runs. However long it grows, it is
// never read into memory: its earlier lines stay in a file, and this run's
// messages are written after them.
#pragma once

#include "pkg/package_db.h"

// Sets the complete lines of the log aside (to /flash/postlog.earlier),
// to go before all of this run's messages, and blanks the log (4096 zero
// bytes), so that the next write rewrites it.
void readPostLog(PackageDb& db);

// Appends this run's messages to the log, or after readPostLog writes the
// earlier lines and then the messages as the new log. Does nothing when
// there is nothing to say.
void writePostLog(PackageDb& db);

// Done at every start: earlier lines that a run set aside and could not
// write back (it was cut) go back into the log, before what it holds now.
void restorePostLog();
