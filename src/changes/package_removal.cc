#include "changes/package_removal.h"

#include <sys/stat.h>

namespace {

// A listed path must name a file below /flash: one that names /flash itself
// or climbs out of it through ".." would take other files with it.
bool namesFileBelowFlash(const std::string& path) {
  bool hasName = false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "." || part == "..") return false;
    if (!part.empty()) hasName = true;
    start = end + 1;
  }
  return hasName;
}

// The boot image goes only when no other name still refers to it.
bool bootImageUnshared() {
  struct stat st;
  return stat("/flash/bootimage", &st) == 0 && st.st_nlink == 1;
}

}  // namespace

void removePackageFiles(InstalledPackage& package, Manifest& manifest) {
  // The stored paths begin with "/", so the removal target reads
  // /flash//bin/x: it never coincides with the target of a new file, and
  // removing an old version never undoes installing the new one.
  for (const std::string& path : package.files)
    if (namesFileBelowFlash(path)) stageRemove(manifest, "/flash/" + path);
  package.files.clear();

  const std::string dbDir = package.dbDir();
  stageRemove(manifest, dbDir);
  stageRemove(manifest, dbDir + "image");
  if ((package.flags & PF_BOOT) && bootImageUnshared()) stageRemove(manifest, "/flash/bootimage");
  package.scheduled = SCHEDULE_NONE;
}
