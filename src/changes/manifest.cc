#include "changes/manifest.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "pkg/paths.h"

namespace {

// Temporary paths are built in a buffer of this size, terminator included.
constexpr size_t kTempPathBuffer = 128;
const char kTempPattern[] = "/tmpXXXXXX";

bool pathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// A file of the given size fits when the file system keeps a tenth more
// than the file free. Computed in 64 bits: a large file system has more free
// bytes than 32 bits can count.
bool fitsOnFileSystem(const struct statfs& fs, uint32_t sizeHint) {
  const uint64_t needed = uint64_t(sizeHint) + sizeHint / 10;
  const uint64_t available = uint64_t(fs.f_bsize) * uint64_t(fs.f_bfree);
  return needed < available;
}

// The nearest existing directory above the target when its file system has
// room for the file, else RAM.
std::string stagingDirectory(const std::string& target, uint32_t sizeHint) {
  if (sizeHint == 0) {
    struct stat st;
    return stat(PATH_RAM, &st) == 0 ? PATH_RAM : PATH_TMP;
  }
  std::string candidate = parentDir(target);
  for (;;) {
    struct statfs fs;
    if (statfs(candidate.c_str(), &fs) == 0)
      return fitsOnFileSystem(fs, sizeHint) ? candidate : PATH_RAM;
    if (candidate == "/" || candidate == ".") return PATH_RAM;
    candidate = parentDir(candidate);
  }
}

std::ofstream failedStream() {
  std::ofstream stream;
  stream.setstate(std::ios::failbit);
  return stream;
}

void deleteTemporaryFile(const Change& change) {
  if (change.kind == CHANGE_TEMP) unlink(change.source.c_str());
}

}  // namespace

void stageChange(Manifest& manifest, const std::string& target, ChangeKind kind,
                 const std::string& source) {
  auto found = manifest.entries.find(target);
  if (found == manifest.entries.end()) {
    manifest.entries.emplace(target, Change{kind, source});
    return;
  }
  Change& change = found->second;
  // The replaced temporary file is ours to delete, unless the new change
  // takes its content from that very file.
  if (change.source != source) deleteTemporaryFile(change);
  change.kind = kind;
  change.source = source;
}

void stageRemove(Manifest& manifest, const std::string& path) {
  // lstat: a symbolic link whose text leads nowhere is still there to remove.
  if (pathExists(path)) {
    stageChange(manifest, path, CHANGE_REMOVE, "");
    return;
  }
  // Nothing on disk: forget a staged creation, and its temporary file.
  auto found = manifest.entries.find(path);
  if (found == manifest.entries.end()) return;
  deleteTemporaryFile(found->second);
  manifest.entries.erase(found);
}

void stageMove(Manifest& manifest, const std::string& source, const std::string& target) {
  stageChange(manifest, target, CHANGE_MOVE, source);
}

void stageSymlink(Manifest& manifest, const std::string& linkText, const std::string& target) {
  stageChange(manifest, target, CHANGE_SYMLINK, linkText);
}

std::ofstream createStagedFile(Manifest& manifest, const std::string& target, uint32_t sizeHint,
                               uint32_t mode) {
  std::string directory = stagingDirectory(target, sizeHint);
  if (directory.size() + sizeof kTempPattern > kTempPathBuffer) directory = PATH_RAM;

  char path[kTempPathBuffer];
  snprintf(path, sizeof path, "%s%s", directory.c_str(), kTempPattern);
  const int fd = mkstemp(path);
  // Nothing is staged for a file that could not be made; errno still tells
  // the writer why when it finds its stream failed.
  if (fd < 0) {
    const int error = errno;
    std::ofstream failed = failedStream();
    errno = error;
    return failed;
  }
  close(fd);

  if (mode != 0) chmod(path, mode & 07777);
  stageChange(manifest, target, CHANGE_TEMP, path);
  return std::ofstream(path, std::ios::out | std::ios::binary | std::ios::trunc);
}

bool reclaimDirectory(Manifest& manifest, const std::string& path) {
  auto found = manifest.entries.find(path);
  if (found != manifest.entries.end()) {
    if (found->second.kind != CHANGE_REMOVE) return false;
    manifest.entries.erase(found);
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return true;
  return S_ISDIR(st.st_mode);
}

std::string parentDir(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? "." : "/";
  const size_t slash = path.rfind('/', end);
  if (slash == std::string::npos) return ".";
  end = path.find_last_not_of('/', slash);
  if (end == std::string::npos) return "/";
  return path.substr(0, end + 1);
}

bool staysBelow(const std::string& relativePath) {
  if (relativePath.find('\0') != std::string::npos) return false;
  bool hasName = false;
  size_t start = 0;
  while (start <= relativePath.size()) {
    size_t end = relativePath.find('/', start);
    if (end == std::string::npos) end = relativePath.size();
    const std::string component = relativePath.substr(start, end - start);
    if (component == "..") return false;
    if (!component.empty() && component != ".") hasName = true;
    start = end + 1;
  }
  return hasName;
}
