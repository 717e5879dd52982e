// `pkgtool build [-o FILE] [-k KEYS] [-s MODE] DESCRIPTION`.
#pragma once

#include <string>
#include <vector>

// The exit status: 0 built, 1 failed, 2 wrong arguments.
int runBuild(const std::vector<std::string>& args);
