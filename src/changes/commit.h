// Applying a Manifest to the file system. A commit is journaled: before its
// first change the Manifest is written to the journal and made durable, and
// the journal goes only once every change is durable, so that the next
// start finishes a commit that a cut interrupted. Removals and links come
// first; then every file is renamed onto its target. A file that lies on
// another file system is first copied beside its target, and the journal
// names the copy from then on, so that nothing the commit still needs lies
// in RAM once a file has been moved into place.
#pragma once

#include <string>
#include <vector>

#include "changes/manifest.h"

// A file operation of a commit that failed: what it did, and errno.
struct CommitFailure {
  std::string action;  // "rename /flash/tmpAb12Cd to /flash/etc/x"
  int error = 0;
};
using CommitFailures = std::vector<CommitFailure>;

// Applies every entry, never stopping at a failed one; the failures are
// returned, and the journal stays for the next start to finish the commit.
// A Manifest that was applied before (its moves done: sources gone, targets
// there) is not applied again: its removals are skipped, so that a second
// commit never removes what the first put in place. A Manifest with a staged
// file that lost data is not applied at all. The Manifest keeps its entries.
CommitFailures commitChanges(Manifest& manifest, bool showProgress);

// Finishes the commit that the journal holds, if any. When a file that it
// was to move from RAM is gone (lost with the power before it reached the
// flash), the commit cannot be finished: its removals and links are carried
// out, nothing is moved into place, and the lost file is returned as a
// failure, so that the database keeps the versions that were installed and
// the next upgrade installs the new ones again.
CommitFailures finishInterruptedCommit();

// Creates a directory and its missing parents; false when it cannot.
bool makeDirs(const std::string& path);

// Copies a regular file with its permission bits onto a temporary file
// beside the target, made durable, and renames it onto the target: the
// target is whole, old or new, at every moment. Turns the spinner after each
// chunk when showProgress is set. False, with errno set, when it failed;
// nothing is left behind then.
bool copyFile(const std::string& source, const std::string& target, bool showProgress);
