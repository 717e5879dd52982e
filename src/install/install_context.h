// What the install of a package file works with: handed down from the run's
// flow to the install of each package and bundle member, and what an install
// reports back.
#pragma once

#include <cstdint>
#include <map>
#include <streambuf>
#include <string>

#include "changes/manifest.h"
#include "pkg/package_db.h"

// The enabled or disabled state that the user chose for installed packages:
// name -> disabled.
using ForcedStates = std::map<std::string, bool>;

struct InstallContext {
  PackageDb& db;
  Manifest& manifest;
  uint32_t installFlags;  // the verdicts that the run accepts
  const ForcedStates& forcedStates;
  // Receives every byte read from the stream (the copy kept of a package
  // read from standard input); may be null.
  std::streambuf* copyTarget = nullptr;
};

struct InstallResult {
  // installFromStream and installBundle: 0 installed, else why not.
  int status = 0;
  // installSinglePackage: the record now in the package list that stands
  // for the package, or null.
  InstalledPackage* installed = nullptr;
  // The database directory of an image package, where its copy goes; else
  // empty.
  std::string imageDirectory;
  // A package that carries the boot image was installed as the boot image.
  bool boot = false;
  // The package file was unpacked and installed, not passed over as
  // installed already.
  bool unpacked = false;
  // A bundle refused only because the same version is installed: the
  // upgrade run passes over it as it does a single package.
  bool sameInstalled = false;
};
