// The entry point: parses the command line, acts on a saved manifest, changes
// root, loads the package database and runs one mode.
#pragma once

int installerMain(int argc, char** argv);
