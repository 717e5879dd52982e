// The record of where a run makes its staged files. A run that is cut before
// its commit leaves temporary files ("tmp" and six letters or digits) in the
// directories above their targets and in RAM; the record names those
// directories, made durable before the first file is made in each, so that
// the next start deletes exactly what was left there.
#pragma once

#include <set>
#include <string>

#include "changes/manifest.h"

// Notes the directory before a staged file is made in it. False, with errno
// set, when the record cannot be written.
bool recordStagingDirectory(const std::string& directory);

// Deletes the temporary files left in the recorded directories, except
// those named in keep (the sources of a saved manifest still to be
// committed), the copy of a package read from standard input, and the
// record itself.
void sweepStagingLeftovers(const std::set<std::string>& keep);

// The names that mkstemp gives to "tmpXXXXXX".
bool isTemporaryName(const std::string& name);

// Whether the source of a move read back from a manifest file is a file
// that the installer staged for its target: a temporary name in RAM or in a
// directory above the target.
bool isStagedFor(const Change& change, const std::string& target);
