#include "pkg/package_db.h"

PackageDb::~PackageDb() {
  for (InstalledPackage* package : packages) delete package;
}

int PackageDb::findByName(const std::string& name) const {
  for (size_t i = 0; i < packages.size(); ++i)
    if (namesMatch(packages[i]->name, name)) return static_cast<int>(i);
  return -1;
}

InstalledPackage* PackageDb::lookupByName(const std::string& name) const {
  const int index = findByName(name);
  return index < 0 ? nullptr : packages[index];
}

PackageDb& packageDb() {
  static PackageDb* const db = new PackageDb;
  return *db;
}
