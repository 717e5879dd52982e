// Why a package could not be installed. The steps of an install return it
// instead of printing; the flow that installs the package words the one
// message.
#pragma once

#include <string>

#include "pkg/package_db.h"

enum class FailureKind {
  None,
  BrokenPackage,   // the package file does not hold together or is not signed enough
  WriteFailed,     // a staged file could not be created or written
  DirectoryTaken,  // the package's database directory cannot be written again
};

struct InstallFailure {
  FailureKind kind = FailureKind::None;
  int error = 0;      // errno of a failed write
  std::string label;  // what could not be written: "meta/deps", or a payload entry's name

  bool failed() const { return kind != FailureKind::None; }

  static InstallFailure brokenPackage() { return {FailureKind::BrokenPackage, 0, ""}; }
  static InstallFailure directoryTaken() { return {FailureKind::DirectoryTaken, 0, ""}; }
  // Takes errno as the failed write left it, before anything else can
  // change it.
  static InstallFailure writeFailed(const char* label);
};

// Prints the failure as the error of the package's installation, worded
// after its kind and, for a write, after errno: no space, an I/O error, or
// the system's text. A directory that is taken prints nothing.
void reportInstallFailure(PackageDb& db, const InstalledPackage& package,
                          const InstallFailure& failure);
