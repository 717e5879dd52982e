// Every part of a package file with its offset and length, and the file
// entries of its Files parts, as the installer's reader sees them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pkg/package.h"

struct PartInfo {
  uint32_t offset = 0;  // of the part header
  int type = 0;
  uint32_t length = 0;  // of the data
};

struct FileEntryInfo {
  uint16_t mode = 0;
  uint8_t hardwareKind = 0;
  uint32_t size = 0;
  std::string name;
  std::string digest;  // SHA-256 of the data in hex, when asked for
};

// What follows one package header (type 1).
struct PackageContents {
  std::vector<FileEntryInfo> files;
  bool filesCutShort = false;  // a name or data ended early
  bool sha256 = false;         // a type-25 part came before its Signature part
};

struct PartListing {
  uint32_t magic = 0;
  uint32_t totalSize = 0;  // what the file header says
  std::vector<PartInfo> parts;
  std::vector<PackageContents> packages;  // one per package header, in file order
  std::vector<DependencyEntry> bundleList;
};

// False when the file has no valid file header. With digests, each file
// entry carries the SHA-256 of its data.
bool listParts(const std::string& path, PartListing& listing, bool digests = false);

// "package header", "files", ...; "unknown" for types the installer skips.
const char* partTypeName(int type);
