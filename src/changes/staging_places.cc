#include "changes/staging_places.h"

#include <vector>

#include "pkg/paths.h"

namespace {

// The names between the slashes of an absolute path, empty ones left out;
// false when the path is not absolute or holds a "." or ".." component or a
// NUL byte.
bool components(const std::string& path, std::vector<std::string>& names) {
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return false;
  for (size_t start = 1; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    if (name == "." || name == "..") return false;
    if (!name.empty()) names.push_back(name);
    start = end + 1;
  }
  return true;
}

// How many names deep the path lies below its place; -1 when it is not in
// one of the places.
int depthInPlace(const std::string& path) {
  std::vector<std::string> names;
  if (!components(path, names) || names.empty()) return -1;
  for (const char* place : {PATH_FLASH, PATH_RAM, PATH_RW, PATH_TMP})
    if (names[0] == place + 1) return int(names.size()) - 1;
  return -1;
}

}  // namespace

bool isBelowStagingPlace(const std::string& path) { return depthInPlace(path) > 0; }

bool isStagingDirectoryPath(const std::string& directory) { return depthInPlace(directory) >= 0; }
