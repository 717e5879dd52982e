// `pkgtool diff OLD NEW`: what an upgrade from one package file to another
// changes: the version and the rest of the metadata, the relations, and the
// files added, removed and changed (by the digest of their content, their
// mode and hardware kind); member by member for bundles. One line per
// difference.
#pragma once

#include <string>
#include <vector>

// The exit status: 0 the same, 1 different, 2 a file cannot be read as a
// package file, or wrong arguments.
int runDiff(const std::vector<std::string>& args);
