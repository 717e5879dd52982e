#include "pkg/database_image.h"

#include <fcntl.h>
#include <unistd.h>


#include "pkgfile/file_source.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"

namespace {

const char kDatabaseDir[] = "/flash/var/pdb/";
constexpr size_t kDatabaseDirLength = sizeof kDatabaseDir - 1;

// The database directory while a DatabaseDirectoryHold lives, else -1.
int databaseDirectory = -1;

// A stored image is walked for its metadata only: without hashing or a tee
// the reader seeks past the payload, so a large image costs little.
const std::vector<uint32_t> kImageTypes = {BundleHeader, PackageHeader, Text24, Note,
                                           Dependencies, Provides, Conflicts};

void loadBundle(PackageDb& db, PackageReader& reader, const std::string& entryName) {
  InstalledPackage* bundle = new InstalledPackage("");
  if (!readPackageInfo(*bundle, reader)) {
    delete bundle;
    db.packages.push_back(new InstalledPackage(entryName));
    return;
  }
  while (reader.currentType() == PackageHeader) {
    InstalledPackage* member = new InstalledPackage("");
    if (!readPackageInfo(*member, reader)) {
      delete member;
      break;
    }
    member->bundle = DependencyEntry{bundle->name, bundle->version, bundle->version, 0};
    db.packages.push_back(member);
  }
  db.packages.push_back(bundle);
}

void loadSingle(PackageDb& db, PackageReader& reader, const std::string& entryName) {
  InstalledPackage* package = new InstalledPackage(entryName);
  if (!readPackageInfo(*package, reader)) {
    // Loaded from its meta files instead, under the entry's name.
    delete package;
    package = new InstalledPackage(entryName);
  }
  db.packages.push_back(package);
}

}  // namespace

DatabaseDirectoryHold::DatabaseDirectoryHold() {
  databaseDirectory = open(kDatabaseDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

DatabaseDirectoryHold::~DatabaseDirectoryHold() {
  if (databaseDirectory >= 0) close(databaseDirectory);
  databaseDirectory = -1;
}

int openDatabaseFile(const std::string& path) {
  // A path that goes on with another slash would be absolute for openat.
  if (databaseDirectory >= 0 && path.size() > kDatabaseDirLength &&
      path.compare(0, kDatabaseDirLength, kDatabaseDir) == 0 && path[kDatabaseDirLength] != '/')
    return openat(databaseDirectory, path.c_str() + kDatabaseDirLength, O_RDONLY | O_CLOEXEC);
  return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

void loadImageRecords(PackageDb& db, const std::string& path, const std::string& entryName) {
  FileSource file(openDatabaseFile(path));
  if (!file.isOpen()) return;
  PackageReader reader(&file, false, nullptr);
  reader.wantedTypes = kImageTypes;
  reader.nextPart();
  if (reader.currentType() == BundleHeader)
    loadBundle(db, reader, entryName);
  else
    loadSingle(db, reader, entryName);
}
