// The places that the installer stages in: every target it changes, every
// file it moves from, every link text it writes and every directory it makes
// a staged file in lies in /flash, /ram, /rw or /tmp. A saved manifest, the
// journal and the staging record are read back from disk, where anything may
// have been left: their paths are held to these places before anything is
// done with them.
#pragma once

#include <string>

// An absolute path below /flash, /ram, /rw or /tmp (not the place itself),
// with no "." or ".." component and no NUL byte.
bool isBelowStagingPlace(const std::string& path);

// The same for a directory in which staged files are made: one of the
// places itself is one too.
bool isStagingDirectoryPath(const std::string& directory);
