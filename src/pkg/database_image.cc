#include "pkg/database_image.h"

#include <fstream>

#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"

namespace {

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

void loadImageRecords(PackageDb& db, const std::string& path, const std::string& entryName) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return;
  PackageReader reader(file, false, nullptr);
  reader.wantedTypes = kImageTypes;
  reader.nextPart();
  if (reader.currentType() == BundleHeader)
    loadBundle(db, reader, entryName);
  else
    loadSingle(db, reader, entryName);
}
