// `pkgtool verify FILE`: whether the signature of the package (of every
// member of a bundle) reaches the level the installer requires of it.
#pragma once

#include <string>
#include <vector>

// The exit status: 0 every signature reaches its level, 1 one does not, 2
// the file cannot be read as a package file.
int runVerify(const std::vector<std::string>& args);

// The same for one file, printing one line per package unless quiet.
int verifyFile(const std::string& path, bool quiet);
