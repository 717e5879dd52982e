// The saved Manifest: one text line per staged change, in target order, so
// that a later run can apply the changes or drop them.
//
//   U <target>            remove the target
//   L <target> <text>     make the target a symbolic link with that text
//   M <target> <source>   move the source onto the target
#pragma once

#include <string>
#include <vector>

#include "changes/manifest.h"

// The lines of every entry. A change that the format cannot hold (a target
// with a space or a line feed, a source with a line feed) is left out rather
// than written as a different change, and complete is false then.
std::string manifestText(const Manifest& manifest, bool& complete);

// Whether a line of the file can name the target: no space, no line feed.
bool manifestCanName(const std::string& target);

// The targets of the changes that manifestText leaves out.
std::vector<std::string> unwritableTargets(const Manifest& manifest);

// Writes the file whole or not at all: beside it first, made durable, then
// renamed onto it. False, with errno set, when it could not be written;
// an old file stays as it was then.
bool replaceFile(const std::string& path, const std::string& content);

// Replaces the file with the lines of every entry. False, with errno set,
// when it could not be written (the old file stays), and also when a change
// was left out (errno EINVAL; the file holds the rest).
bool writeManifest(const Manifest& manifest, const std::string& path);

// Adds the entries of a manifest file. Temporary files come back as ordinary
// moves. False when the file cannot be opened or is no regular file, or a
// line is malformed; the entries read before a malformed line stay. A line
// longer than two of the longest paths is malformed: it is not read whole.
bool readManifest(Manifest& manifest, const std::string& path);

// Whether every path of a Manifest read back from disk is one that the
// installer stages: every target and every source (a link's text too) is
// an absolute path below /flash, /ram, /rw or /tmp, with no "." or ".."
// component. When not, offending is the first path that is not.
bool plannedPathsAreSafe(const Manifest& manifest, std::string& offending);
