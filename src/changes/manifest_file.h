// The saved Manifest: one text line per staged change, in target order, so
// that a later run can apply the changes or drop them.
//
//   U <target>            remove the target
//   L <target> <text>     make the target a symbolic link with that text
//   M <target> <source>   move the source onto the target
#pragma once

#include <string>

#include "changes/manifest.h"

// Writes every entry, truncating the file. A change that the format cannot
// hold (a target with a space or a line feed, a source with a line feed) is
// left out rather than written as a different change; the result is false
// then, and also when the file cannot be written.
bool writeManifest(const Manifest& manifest, const std::string& path);

// Adds the entries of a manifest file. Temporary files come back as ordinary
// moves. False when the file cannot be opened or a line is malformed; the
// entries read before a malformed line stay.
bool readManifest(Manifest& manifest, const std::string& path);
