// Dropping a Manifest: the temporary files it owns are deleted and nothing
// else on disk is touched.
#pragma once

#include "changes/manifest.h"

// Deletes the temporary files of the CHANGE_TEMP entries and empties the
// Manifest.
void cancelChanges(Manifest& manifest);

// The same for a Manifest read back from a manifest file, where temporary
// files come back as ordinary moves: a move source is deleted when it is a
// temporary file made for its target, named "tmp" and six letters or digits
// and lying in RAM or in a directory above the target, below /flash, /ram,
// /rw or /tmp. Any other source, such as a downloaded package file, stays.
void cancelSavedChanges(Manifest& manifest);
