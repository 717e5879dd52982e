#include "changes/package_removal.h"

#include <sys/stat.h>

#include "pkg/paths.h"
#include "platform/guarded_path.h"

namespace {

// The boot image goes only when no other name still refers to it.
bool bootImageUnshared() {
  struct stat st;
  return stat(PATH_BOOT_IMAGE, &st) == 0 && st.st_nlink == 1;
}

// A listed file is removed only when it is a file or a link of the package
// below /flash: never a directory with what it holds, never anything reached
// through a link, and never a file of the database, which would damage
// another package's entry.
bool removableListedFile(const std::string& listed, const std::string& target) {
  struct stat st;
  return staysBelow(listed) && !inDatabase(target.c_str()) && lstatBelowPlace(target, st) == 0 &&
         (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode));
}

}  // namespace

void removePackageFiles(InstalledPackage& package, Manifest& manifest) {
  // The stored paths begin with "/", so the removal target reads
  // /flash//bin/x: it never coincides with the target of a new file, and
  // removing an old version never undoes installing the new one.
  for (const std::string& path : package.files) {
    const std::string target = std::string(PATH_FLASH) + "/" + path;
    if (removableListedFile(path, target)) stageRemove(manifest, target);
  }
  package.files.clear();

  const std::string dbDir = package.dbDir();
  stageRemove(manifest, dbDir);
  stageRemove(manifest, dbDir + "image");
  // The image kept in the second place goes with the entry: left behind, it
  // would stand for the next package installed under that name.
  const std::string secondImage = PATH_IMAGES_DIR + package.name;
  struct stat st;
  if (!package.name.empty() && lstatBelowPlace(secondImage, st) == 0 && S_ISREG(st.st_mode))
    stageRemove(manifest, secondImage);
  if ((package.flags & PF_BOOT) && bootImageUnshared()) stageRemove(manifest, PATH_BOOT_IMAGE);
  package.scheduled = SCHEDULE_NONE;
}
