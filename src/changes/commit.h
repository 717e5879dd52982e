// Applying a Manifest to the file system: removals and links first, then
// every file renamed onto its target, or copied when it lies on another
// file system.
#pragma once

#include <string>

#include "changes/manifest.h"

// Applies every entry and never stops early: a failed link or rename prints
// the system's message on standard error and is passed over. A temporary file
// copied across file systems is deleted once its copy is complete. The
// Manifest keeps its entries.
void commitChanges(const Manifest& manifest, bool showProgress);

// Creates a directory and its missing parents.
void makeDirs(const std::string& path);

// Copies a regular file with its permission bits, turning the spinner after
// each chunk when showProgress is set. A failed copy may leave a partly
// written target.
bool copyFile(const std::string& source, const std::string& target, bool showProgress);
