// The facts that `pkgtool inspect` shows, as one JSON document for scripts:
// the file, its parts, the package (or the bundle) with its metadata,
// relations, file entries and signature, and the members of a bundle. The
// keys are listed in README.md.
#pragma once

#include <string>

#include "package_facts.h"

// The document, indented, ending with a newline. Bytes of texts that are not
// UTF-8 come out as U+FFFD.
std::string packageJson(const std::string& path, const PackageFacts& facts);
