// Predicts whether the flash file systems keep enough free blocks once a
// Manifest is applied.
#pragma once

#include "changes/manifest.h"

// True when both /flash/boot and /flash are predicted to keep more than 16
// free blocks. A file system that cannot be queried counts as full.
bool checkSpace(const Manifest& manifest);
