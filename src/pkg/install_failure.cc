#include "pkg/install_failure.h"

#include <cerrno>
#include <cstring>

#include "pkg/console.h"

InstallFailure InstallFailure::writeFailed(const char* label) {
  const int error = errno;
  return {FailureKind::WriteFailed, error, label};
}

void reportInstallFailure(PackageDb& db, const InstalledPackage& package,
                          const InstallFailure& failure) {
  const std::string name = package.installationDisplayName();
  switch (failure.kind) {
    case FailureKind::None:
    case FailureKind::DirectoryTaken:
      return;
    case FailureKind::BrokenPackage:
      printError(db, "installation of %s failed: broken package", name.c_str());
      return;
    case FailureKind::WriteFailed:
      break;
  }
  if (failure.error == ENOSPC)
    printError(db, "installation of %s failed: disk is too small", name.c_str());
  else if (failure.error == EIO)
    printError(db, "installation of %s failed: disk error", name.c_str());
  else
    printError(db, "installation of %s failed: could not create %s: %s", name.c_str(),
               failure.label.c_str(), strerror(failure.error));
}
