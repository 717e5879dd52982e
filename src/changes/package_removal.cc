#include "changes/package_removal.h"

#include <sys/stat.h>

#include "pkg/paths.h"

namespace {

// The boot image goes only when no other name still refers to it.
bool bootImageUnshared() {
  struct stat st;
  return stat(PATH_BOOT_IMAGE, &st) == 0 && st.st_nlink == 1;
}

}  // namespace

void removePackageFiles(InstalledPackage& package, Manifest& manifest) {
  // The stored paths begin with "/", so the removal target reads
  // /flash//bin/x: it never coincides with the target of a new file, and
  // removing an old version never undoes installing the new one.
  // A listed path that names /flash itself or climbs out of it would take
  // other files with it.
  for (const std::string& path : package.files)
    if (staysBelow(path)) stageRemove(manifest, std::string(PATH_FLASH) + "/" + path);
  package.files.clear();

  const std::string dbDir = package.dbDir();
  stageRemove(manifest, dbDir);
  stageRemove(manifest, dbDir + "image");
  if ((package.flags & PF_BOOT) && bootImageUnshared()) stageRemove(manifest, PATH_BOOT_IMAGE);
  package.scheduled = SCHEDULE_NONE;
}
