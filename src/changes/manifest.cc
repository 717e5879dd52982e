#include "changes/manifest.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "changes/staging_record.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "platform/file_writer.h"
#include "platform/guarded_path.h"

namespace {

// Free blocks that staging in RAM leaves, as the space check leaves on the
// flash.
constexpr uint64_t STAGING_RESERVE_BLOCKS = 16;

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
uint64_t neededFor(uint32_t sizeHint) { return uint64_t(sizeHint) + sizeHint / 10; }

bool fitsOnFileSystem(const struct statfs& fs, uint32_t sizeHint) {
  const uint64_t available = uint64_t(fs.f_bsize) * uint64_t(fs.f_bfree);
  return neededFor(sizeHint) < available;
}

// The room last measured in a staging directory, less what was staged there
// since. The file system is asked again every kRoomReuses files, and
// whenever the estimate says a file does not fit: a file is sent elsewhere
// only on a fresh answer.
struct KnownRoom {
  std::string directory;
  uint64_t available = 0;
  unsigned uses = 0;
};
KnownRoom knownRoom;
constexpr unsigned kRoomReuses = 64;

bool fitsInDirectory(int fd, const std::string& directory, uint32_t sizeHint) {
  const uint64_t needed = neededFor(sizeHint);
  if (knownRoom.uses < kRoomReuses && knownRoom.directory == directory && needed < knownRoom.available) {
    knownRoom.available -= needed;
    ++knownRoom.uses;
    return true;
  }
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0) return false;
  knownRoom = KnownRoom{directory, uint64_t(fs.f_bsize) * uint64_t(fs.f_bfree), 0};
  if (needed >= knownRoom.available) return false;
  knownRoom.available -= needed;
  return true;
}

// RAM takes a file when it keeps the reserve of free blocks that the space
// check keeps on the flash: staged files must not fill it. A RAM that
// cannot be measured is tried; writing the file tells.
bool fitsInRam(uint32_t size) {
  struct statfs fs;
  if (statfs(PATH_RAM, &fs) != 0 || fs.f_bsize <= 0) return true;
  const uint64_t blocks = (uint64_t(size) + uint64_t(fs.f_bsize) - 1) / uint64_t(fs.f_bsize);
  return blocks + STAGING_RESERVE_BLOCKS <= uint64_t(fs.f_bfree);
}

// The nearest existing directory above the target when its file system has
// room for the file, else RAM; empty, with errno ENOSPC, when neither has.
std::string stagingDirectory(const std::string& target, uint32_t sizeHint) {
  if (sizeHint == 0) {
    struct stat st;
    return stat(PATH_RAM, &st) == 0 ? PATH_RAM : PATH_TMP;
  }
  std::string candidate = parentDir(target);
  std::string nearest;
  const int known = nearestDirectoryBelowPlace(candidate, nearest);
  struct statfs fs;
  if (known >= 0) {
    // Below the places the walk down is the link guard's, whose directories
    // stay open: no path is looked up again for every file.
    if (fitsInDirectory(known, nearest, sizeHint)) return nearest;
  } else {
    for (;;) {
      if (statfs(candidate.c_str(), &fs) == 0) {
        if (fitsOnFileSystem(fs, sizeHint)) return candidate;
        break;
      }
      if (candidate == "/" || candidate == ".") break;
      candidate = parentDir(candidate);
    }
  }
  if (fitsInRam(sizeHint)) return PATH_RAM;
  errno = ENOSPC;
  return "";
}

void deleteTemporaryFile(const Change& change) {
  if (change.kind == CHANGE_TEMP) fileops::unlink(change.source.c_str());
}

mode_t processUmask() {
  static const mode_t mask = [] {
    const mode_t current = umask(0);
    umask(current);
    return current;
  }();
  return mask;
}

// Makes the temporary file for a target: its directory recorded, the file
// made with the entry's permission bits. Ordinary bits that the umask keeps
// are given when the file is made; the others (set-user-ID and the like,
// or bits the umask takes) are set afterwards. The descriptor, or -1 with
// errno set.
int makeTemporaryFile(std::string directory, uint32_t mode, std::string& path) {
  if (directory.empty()) return -1;
  if (directory.size() + sizeof kTempPattern > kTempPathBuffer) directory = PATH_RAM;
  if (!recordStagingDirectory(directory)) return -1;
  char name[kTempPathBuffer];
  snprintf(name, sizeof name, "%s%s", directory.c_str(), kTempPattern);
  const mode_t bits = mode & 07777;
  const bool givenAtCreation = mode != 0 && (bits & (07000 | processUmask())) == 0;
  const int fd = fileops::mkstemp(name, givenAtCreation ? bits : 0600);
  if (fd < 0) return -1;
  path = name;
  if (mode != 0 && !givenAtCreation && fileops::fchmod(fd, bits) != 0) {
    const int error = errno;
    fileops::close(fd);
    fileops::unlink(name);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

void stageChange(Manifest& manifest, const std::string& target, ChangeKind kind,
                 const std::string& source) {
  // Files are mostly staged in the order of their targets: the place found
  // for the new one is where it goes.
  const auto found = manifest.entries.lower_bound(target);
  if (found == manifest.entries.end() || found->first != target) {
    manifest.entries.emplace_hint(found, target, Change{kind, source});
    return;
  }
  Change& change = found->second;
  // The replaced temporary file is ours to delete, unless the new change
  // takes its content from that very file.
  if (change.source != source) deleteTemporaryFile(change);
  change = Change{kind, source};
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

StagedFile::StagedFile(Manifest& manifest, std::string target, int fd, int error)
    : std::ostream(nullptr), manifest_(&manifest), target_(std::move(target)),
      writer_(new FileWriter(fd, error)) {
  rdbuf(writer_.get());
  if (fd < 0) setstate(std::ios::badbit);
}

StagedFile::StagedFile(StagedFile&& other)
    : std::ostream(std::move(other)), manifest_(other.manifest_), target_(std::move(other.target_)),
      writer_(std::move(other.writer_)) {
  set_rdbuf(writer_.get());
}

StagedFile::~StagedFile() { close(); }

bool StagedFile::close() {
  if (!writer_) return true;
  const bool written = writer_->finish();
  const int error = writer_->error();
  // A file that was never made staged nothing; one that lost data is a
  // change that must not be applied.
  if (!written && manifest_->entries.count(target_))
    manifest_->failures.push_back({target_, error});
  const auto staged = manifest_->entries.find(target_);
  if (written && staged != manifest_->entries.end() && staged->second.kind == CHANGE_TEMP)
    staged->second.stagedSize = int64_t(writer_->written());
  writer_.reset();
  if (!written) {
    setstate(std::ios::badbit);
    errno = error;
  }
  return written;
}

StagedFile createStagedFile(Manifest& manifest, const std::string& target, uint32_t sizeHint,
                            uint32_t mode) {
  std::string path;
  const int fd = makeTemporaryFile(stagingDirectory(target, sizeHint), mode, path);
  if (fd < 0) {
    // The change is lost: the Manifest must not be applied without it.
    const int error = errno;
    manifest.failures.push_back({target, error});
    return StagedFile(manifest, "", -1, error);
  }
  stageChange(manifest, target, CHANGE_TEMP, path);
  return StagedFile(manifest, target, fd, 0);
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
    const std::string_view component(relativePath.data() + start, end - start);
    if (component == ".." || component == ".") return false;
    if (!component.empty()) hasName = true;
    start = end + 1;
  }
  return hasName;
}
