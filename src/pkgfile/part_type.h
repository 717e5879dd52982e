// The types of the parts of a package file.
#pragma once

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
