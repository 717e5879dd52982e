// `pkgtool build`: a package file from a description.
//
// Layout of a package on its own: file header, [25 marker], header (1),
// [24], [16], [2], [23], [3], [19], [17], [21], [4 Files], [9 Signature].
// A bundle: file header, [25 marker], bundle header (18), [24], [16], [2],
// [23], [21], [20 BundleList], then each member laid out as a package on its
// own (its marker, if it asks for one, before its header).
#pragma once

#include <string>

#include "description.h"
#include "signing_mode.h"

struct BuildOptions {
  std::string output;
  SigningMode signing = SigningMode::Both;  // for descriptions without `signature`
  std::string keyFile;                      // needed unless nothing is signed
};

bool buildPackage(const PackageDescription& description, const BuildOptions& options,
                  std::string& error);

// The 36 bytes of a header part: name, version, build time, flags.
std::string headerPartData(const PackageDescription& description);
// A reference list part: the count, then 32 bytes per entry.
std::string refListPartData(const std::vector<DependencyEntry>& entries);
