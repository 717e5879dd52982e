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
  bool deviceKnown = false;
  dev_t device = 0;
};

FileSystemSpace querySpace(const std::string& path) {
  FileSystemSpace space;
  space.path = path;
  struct statfs fs;
  if (statfs(path.c_str(), &fs) == 0 && fs.f_bsize > 0) {
    space.blockSize = fs.f_bsize;
    space.freeBlocks = int64_t(fs.f_bfree);
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    space.deviceKnown = true;
    space.device = st.st_dev;
  }
  return space;
}

// Whether the path lies at or below the directory; a sibling with a longer
// name, such as /flash/bootimage next to /flash/boot, does not.
bool liesBelow(const std::string& path, const std::string& directory) {
  if (path.compare(0, directory.size(), directory) != 0) return false;
  return path.size() == directory.size() || path[directory.size()] == '/';
}

bool liesOn(const std::string& target, const FileSystemSpace& space) { return liesBelow(target, space.path); }

// A file staged in RAM (or in /tmp where there is no RAM place) takes room
// on the flash only when the commit copies it there; one staged beside its
// target, in the nearest directory above it, took that room when it was
// written.
bool stagedInRam(const std::string& source) { return liesBelow(source, PATH_RAM) || liesBelow(source, PATH_TMP); }

int64_t blocksOf(const struct stat& st, const FileSystemSpace& space) {
  return (int64_t(st.st_size) + space.blockSize - 1) / space.blockSize;
}

// The change in free blocks that applying one entry brings. Targets are
// looked at with lstat: replacing or removing a symbolic link frees the
// link, not the file it leads to. A file that already lies on the file
// system (staged beside its target, or a downloaded package becoming its
// image) reaches its target by a rename: the free count already lacks it,
// and it takes nothing more.
int64_t freedBlocks(const std::string& target, const Change& change,
                    const FileSystemSpace& space) {
  struct stat old;
  const bool targetExists = lstatBelowPlace(target, old) == 0;
  const int64_t targetBlocks = targetExists ? blocksOf(old, space) : 0;
  switch (change.kind) {
    case CHANGE_REMOVE:
      return targetBlocks;
    case CHANGE_MOVE:
    case CHANGE_TEMP: {
      // A file staged by this run: its size is known without a stat.
      if (change.kind == CHANGE_TEMP && change.stagedSize >= 0) {
        if (!stagedInRam(change.source)) return 0;
        return targetBlocks - (change.stagedSize + space.blockSize - 1) / space.blockSize;
      }
      struct stat incoming;
      if (stat(change.source.c_str(), &incoming) != 0) return targetBlocks;
      if (space.deviceKnown && incoming.st_dev == space.device) return 0;
      return targetBlocks - blocksOf(incoming, space);
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
