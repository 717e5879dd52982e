#include "changes/space_check.h"

#include <sys/stat.h>
#include <sys/statfs.h>

#include <cstdint>

#include "pkg/paths.h"
#include "platform/guarded_path.h"

namespace {

constexpr int64_t kReserveBlocks = 16;

struct FileSystemSpace {
  std::string path;
  int64_t blockSize = 1;
  int64_t freeBlocks = 0;
};

FileSystemSpace querySpace(const std::string& path) {
  FileSystemSpace space;
  space.path = path;
  struct statfs fs;
  if (statfs(path.c_str(), &fs) == 0 && fs.f_bsize > 0) {
    space.blockSize = fs.f_bsize;
    space.freeBlocks = int64_t(fs.f_bfree);
  }
  return space;
}

// Whether the target lies at or below the file system's mount path; a
// sibling with a longer name, such as /flash/bootimage next to /flash/boot,
// does not.
bool liesOn(const std::string& target, const FileSystemSpace& space) {
  if (target.compare(0, space.path.size(), space.path) != 0) return false;
  return target.size() == space.path.size() || target[space.path.size()] == '/';
}

int64_t blocksOf(const struct stat& st, const FileSystemSpace& space) {
  return (int64_t(st.st_size) + space.blockSize - 1) / space.blockSize;
}

// The change in free blocks that applying one entry brings. Targets are
// looked at with lstat: replacing or removing a symbolic link frees the
// link, not the file it leads to.
int64_t freedBlocks(const std::string& target, const Change& change,
                    const FileSystemSpace& space) {
  struct stat old;
  const bool targetExists = lstatBelowPlace(target, old) == 0;
  switch (change.kind) {
    case CHANGE_REMOVE:
      return targetExists ? blocksOf(old, space) : 0;
    case CHANGE_MOVE:
    case CHANGE_TEMP: {
      // A new file staged by this run takes what was written into it.
      if (!targetExists && change.kind == CHANGE_TEMP && change.stagedSize >= 0)
        return -(change.stagedSize + space.blockSize - 1) / space.blockSize;
      struct stat incoming;
      if (stat(change.source.c_str(), &incoming) != 0) return targetExists ? blocksOf(old, space) : 0;
      if (targetExists && old.st_dev == incoming.st_dev) return 0;
      return (targetExists ? blocksOf(old, space) : 0) - blocksOf(incoming, space);
    }
    default:
      return 0;
  }
}

}  // namespace

bool checkSpace(const Manifest& manifest) {
  FileSystemSpace spaces[] = {querySpace(PATH_FLASH_BOOT), querySpace(PATH_FLASH)};
  for (const auto& [target, change] : manifest.entries)
    for (FileSystemSpace& space : spaces)
      if (liesOn(target, space)) space.freeBlocks += freedBlocks(target, change, space);
  for (const FileSystemSpace& space : spaces)
    if (space.freeBlocks <= kReserveBlocks) return false;
  return true;
}
