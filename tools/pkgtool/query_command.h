// `pkgtool query ROOT [--files NAME | --owner PATH | --check]`: the
// installed packages of a device root kept on this machine (a copied or
// mounted flash), read with the installer's own loader, without changing
// root and without writing anything.
#pragma once

#include <string>
#include <vector>

// The exit status: 0 listed, found or clean; 1 not found, or findings of
// --check; 2 no package database below ROOT, or wrong arguments.
int runQuery(const std::vector<std::string>& args);
