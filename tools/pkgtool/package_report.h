// `pkgtool inspect [--json] FILE`: the parts of a package file with their
// offsets and lengths, the metadata of each package, its file entries, and
// the signature level it reaches against the level it needs; for people,
// or as one JSON document for scripts.
#pragma once

#include <string>
#include <vector>

// The exit status: 0 shown, 2 the file cannot be read as a package file.
int runInspect(const std::vector<std::string>& args);
