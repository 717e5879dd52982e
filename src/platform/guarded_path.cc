#include "platform/guarded_path.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <vector>

namespace {

const char* const kPlaces[] = {"flash", "ram", "rw", "tmp"};

// Directories opened so far, by path: a run works in few directories, and
// opening each one again, component by component, for every file would cost
// a system call per component. Emptied between two resolutions when full,
// never during one, so that a directory handed out stays open until the
// next.
std::map<std::string, int, std::less<>> opened;
constexpr size_t kMostOpened = 128;
// Directories found missing since a name was last made: the files of a new
// package mostly go into directories that are not there yet, and looking
// for them again for every file would cost a system call each.
std::set<std::string, std::less<>> missing;

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Where the last name of a plain absolute path begins, less one: the
// slash before it. A plain path has no empty, "." or ".." component and no
// final "/", so that its directory part is the key under which that
// directory is cached. npos for any other path.
size_t plainLastSlash(const std::string& path) {
  const size_t npos = std::string::npos;
  const size_t size = path.size();
  if (size < 2 || path[0] != '/' || path[size - 1] == '/') return npos;
  const char* const text = path.data();
  size_t last = 0;
  for (;;) {
    // The component from last + 1 to the next slash or the end.
    const void* slash = memchr(text + last + 1, '/', size - last - 1);
    const size_t end = slash ? size_t(static_cast<const char*>(slash) - text) : size;
    const size_t length = end - last - 1;
    if (length == 0 || (text[last + 1] == '.' && (length == 1 || (length == 2 && text[last + 2] == '.'))))
      return npos;
    if (end == size) return last;
    last = end;
  }
}

bool isPlace(const std::string& name) {
  for (const char* place : kPlaces)
    if (name == place) return true;
  return false;
}

bool hasDots(const std::vector<std::string>& parts) {
  for (const std::string& part : parts)
    if (part == "." || part == "..") return true;
  return false;
}

void keepCacheSmall() {
  if (missing.size() >= kMostOpened) missing.clear();
  if (opened.size() < kMostOpened) return;
  for (const auto& [path, fd] : opened) close(fd);
  opened.clear();
}

// A directory below another, opened without following a link: a link there
// says ELOOP (opening it says only ENOTDIR).
int openBelow(int above, const std::string& name) {
  const int fd = openat(above, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  if (fd < 0 && errno == ENOTDIR && fstatat(above, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(st.st_mode))
    errno = ELOOP;
  return fd;
}

// The directory named by the first `depth` components; the place itself
// may be a link, as a mount point may be.
int openDirectories(const std::vector<std::string>& parts, size_t depth) {
  std::string directory;
  int fd = AT_FDCWD;
  for (size_t i = 0; i < depth; ++i) {
    directory += "/" + parts[i];
    const auto known = opened.find(directory);
    if (known != opened.end()) {
      fd = known->second;
      continue;
    }
    const bool knownMissing = missing.count(directory) != 0;
    fd = knownMissing ? -1
         : i == 0     ? open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                      : openBelow(fd, parts[i]);
    if (fd < 0) {
      // The directory asked for is missing with the first one on the way.
      if (knownMissing) errno = ENOENT;
      if (errno == ENOENT) {
        missing.insert(directory);
        for (size_t below = i + 1; below < depth; ++below) directory += "/" + parts[below];
        missing.insert(directory);
        errno = ENOENT;
      }
      return -1;
    }
    opened[directory] = fd;
  }
  return fd;
}

// A path below a place, as components; false when the path is not below
// one. A "." or ".." component in an absolute path fails it with EINVAL
// wherever it is: "/./flash/x" is below /flash too, "/flash/../etc" is not.
bool belowPlace(const std::string& path, std::vector<std::string>& parts, bool& dots) {
  const bool absolute = !path.empty() && path[0] == '/';
  parts = components(path);
  dots = absolute && hasDots(parts);
  return absolute && parts.size() >= 2 && isPlace(parts[0]);
}

bool resolve(const std::string& path, PathAt& at) {
  // Most paths lie in a directory opened already: no walk.
  const size_t slash = plainLastSlash(path);
  if (slash != std::string::npos && slash > 0) {
    const auto known = opened.find(std::string_view(path.data(), slash));
    if (known != opened.end()) {
      at = PathAt{known->second, path.substr(slash + 1)};
      return true;
    }
    if (missing.count(std::string_view(path.data(), slash))) {
      errno = ENOENT;
      return false;
    }
  }
  std::vector<std::string> parts;
  bool dots;
  at = PathAt{AT_FDCWD, path};
  const bool below = belowPlace(path, parts, dots);
  if (dots) {
    errno = EINVAL;
    return false;
  }
  if (!below) return true;
  const int fd = openDirectories(parts, parts.size() - 1);
  if (fd < 0) return false;
  at = PathAt{fd, parts.back()};
  return true;
}

}  // namespace

int depthInPlace(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return -1;
  const std::vector<std::string> parts = components(path);
  if (parts.empty() || !isPlace(parts[0]) || hasDots(parts)) return -1;
  return int(parts.size()) - 1;
}

bool resolveBelowPlace(const std::string& path, PathAt& at) {
  keepCacheSmall();
  return resolve(path, at);
}

bool resolveBothBelowPlace(const std::string& from, PathAt& fromAt, const std::string& to, PathAt& toAt) {
  keepCacheSmall();
  return resolve(from, fromAt) && resolve(to, toAt);
}

int openDirectoryAt(const PathAt& at) {
  if (at.dir == AT_FDCWD) return open(at.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return openBelow(at.dir, at.name);
}

bool leadsThroughLink(const std::string& path) {
  const size_t slash = plainLastSlash(path);
  if (slash != std::string::npos && slash > 0) {
    const std::string_view directory(path.data(), slash);
    if (opened.count(directory) || missing.count(directory)) return false;
  }
  std::vector<std::string> parts;
  bool dots;
  if (!belowPlace(path, parts, dots) || dots) return false;
  keepCacheSmall();
  const size_t depth = path.back() == '/' ? parts.size() : parts.size() - 1;
  return openDirectories(parts, depth) < 0 && errno == ELOOP;
}

void forgetMissingDirectories() { missing.clear(); }

int nearestDirectoryBelowPlace(const std::string& path, std::string& nearest) {
  // Up to a directory opened already, when the one below it on the way is
  // known to be missing (and with it all below).
  if (plainLastSlash(path) != std::string::npos) {
    std::string_view below;
    for (std::string_view directory(path); !directory.empty();
         below = directory, directory = directory.substr(0, directory.rfind('/'))) {
      const auto known = opened.find(directory);
      if (known == opened.end()) continue;
      if (below.empty() || missing.count(below)) {
        nearest = std::string(directory);
        return known->second;
      }
      break;
    }
  }
  const std::vector<std::string> parts = components(path);
  if (path.empty() || path[0] != '/' || parts.empty() || !isPlace(parts[0]) || hasDots(parts)) return -1;
  keepCacheSmall();
  int fd = -1;
  for (size_t depth = 1; depth <= parts.size(); ++depth) {
    const int deeper = openDirectories(parts, depth);
    if (deeper < 0) break;
    fd = deeper;
    nearest += "/" + parts[depth - 1];
  }
  return fd;
}

void forgetDirectory(const std::string& path) {
  std::string joined;
  if (plainLastSlash(path) == std::string::npos)
    for (const std::string& part : components(path)) joined += "/" + part;
  const std::string_view prefix = joined.empty() ? std::string_view(path) : std::string_view(joined);
  // The directory and those below it follow it in the map's order.
  for (auto it = opened.lower_bound(prefix); it != opened.end();) {
    const std::string& known = it->first;
    if (std::string_view(known).substr(0, prefix.size()) != prefix) break;
    if (known.size() > prefix.size() && known[prefix.size()] != '/') {
      ++it;
      continue;
    }
    close(it->second);
    it = opened.erase(it);
  }
}

int lstatBelowPlace(const std::string& path, struct stat& st) {
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  return fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
}
