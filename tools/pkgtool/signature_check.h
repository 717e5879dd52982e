// The signature of every package in a package file, checked as the
// installer checks it during an install: the same reader, the same walk over
// the parts, the same required level.
#pragma once

#include <string>
#include <vector>

#include "pkg/package.h"

struct PackageSignature {
  std::string name;
  Version version = 0;
  bool hasSignaturePart = false;  // where the installer looks for it
  int reached = 0;                // 0 none valid, 1 legacy, 2 EdDSA
  int required = 0;               // requiredSignatureLevel (consults /ram/SECURE)

  bool enough() const { return reached >= required; }
};

// One result per package: the package itself, or each member of a bundle.
// False when the file cannot be read as a package file (the installer's
// readPackageFile refuses it, or the walk finds no package header).
bool checkSignatures(const std::string& path, std::vector<PackageSignature>& results);

// "none", "legacy", "EdDSA" for 0, 1, 2.
const char* signatureLevelName(int level);
