// Everything pkgtool reads from one package file: its parts and file
// entries, its metadata, and the signature of each package in it.
#pragma once

#include <string>
#include <vector>

#include "part_listing.h"
#include "pkg/package.h"
#include "signature_check.h"

struct PackageFacts {
  PartListing listing;
  PackageFile file{""};
  std::vector<PackageSignature> signatures;

  // The package itself, or the members of a bundle, in file order.
  std::vector<const Package*> packages() const;
  // The file entries and the signature of packages()[index]; null when the
  // walk over the parts found fewer packages than the metadata.
  const PackageContents* contents(size_t index) const;
  const PackageSignature* signature(size_t index) const;
};

// Reads the file at path; with digests, each file entry carries the SHA-256
// of its data. False, after saying so on standard error, when it is not a
// readable package file.
bool readPackageFacts(const std::string& path, PackageFacts& facts, bool digests = false);
