// The types of the parts of a package file, and the parts that each reader
// of package files stops at.
#pragma once

#include <cstdint>
#include <vector>

enum PartType : int {
  PackageHeader = 1,
  Text2 = 2,
  Dependencies = 3,
  Files = 4,
  Signature = 9,
  Architecture = 16,
  Conflicts = 17,
  BundleHeader = 18,
  Provides = 19,
  BundleList = 20,
  Image = 21,
  Note = 23,
  Text24 = 24,
  Sha256Marker = 25,  // not read: switches the running digest to SHA-256
};

// Installing from a stream (and checking signatures as an install does):
// the headers, the relations, the payload and the signature. The texts are
// passed over.
inline const std::vector<uint32_t> PARTS_STREAM_INSTALL = {
    PackageHeader, BundleHeader, BundleList, Architecture, Dependencies,
    Provides,      Conflicts,    Image,      Files,        Signature};

// Scanning a directory of package files: every part of the metadata.
inline const std::vector<uint32_t> PARTS_DIRECTORY_SCAN = {
    BundleHeader, PackageHeader, Text24,   Architecture, Text2,
    Note,         Dependencies,  Provides, Conflicts,    Image};

// Loading the records of a stored image: what the database keeps of a
// package. Without the Architecture part the record's architecture is the
// default one.
inline const std::vector<uint32_t> PARTS_STORED_IMAGE = {
    BundleHeader, PackageHeader, Text24, Note, Dependencies, Provides, Conflicts};
