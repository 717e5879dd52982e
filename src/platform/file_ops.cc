#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <new>
#include <set>
#include <string>

#include "platform/guarded_path.h"

namespace fileops {
namespace {

FaultPlan plan;
uint64_t count = 0;

// What a power cut would take back: the files written since they were last
// made durable, with the size each had then. Kept only while a test has
// planned a fault.
std::map<int, std::string> writtenFds;
std::map<std::string, off_t> unsynced;

bool tracking() { return plan.fault != Fault::None; }

[[noreturn]] void cutPower() {
  for (const auto& [path, size] : unsynced) ::truncate(path.c_str(), size);
  _exit(FAULT_EXIT_STATUS);
}

// Notes the size that a file had when it was last made durable, before
// the first write since.
void noteWriting(int fd) {
  const auto written = writtenFds.find(fd);
  if (written == writtenFds.end() || unsynced.count(written->second)) return;
  struct stat st;
  unsynced[written->second] = ::fstat(fd, &st) == 0 ? st.st_size : 0;
}

// Counts the operation; true when it is to fail, with errno set.
const std::set<std::string> kThrowing = {"open", "mkstemp", "rename", "unlink", "rmdir", "mkdir", "symlink"};

bool faulted(const char* operation, const char* path = "") {
  ++count;
  if (plan.trace) fprintf(stderr, "%llu %s %s\n", (unsigned long long)count, operation, path);
  if (count != plan.at || plan.fault == Fault::None) return false;
  switch (plan.fault) {
    case Fault::Kill: _exit(FAULT_EXIT_STATUS);
    case Fault::PowerCut: cutPower();
    case Fault::OutOfMemory:
      if (kThrowing.count(operation) != 0) throw std::bad_alloc();
      return false;
    default: break;
  }
  errno = plan.error;
  return true;
}

void noteOpened(int fd, const char* path, int flags) {
  if (fd >= 0 && tracking() && (flags & (O_WRONLY | O_RDWR))) writtenFds[fd] = path;
}

// The last component is not followed either, below a place.
int noFollow(const PathAt& at) { return at.dir == AT_FDCWD ? 0 : O_NOFOLLOW; }

// A name for a temporary file: the X's at the end of the pattern replaced.
void fillTemplate(std::string& name) {
  static uint64_t state = uint64_t(time(nullptr)) * 6364136223846793005u ^ uint64_t(getpid());
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (size_t i = name.size(); i > 0 && name[i - 1] == 'X'; --i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    name[i - 1] = letters[(state >> 33) % 62];
  }
}

}  // namespace

void setFaultPlan(const FaultPlan& newPlan) { plan = newPlan; }
uint64_t operationCount() { return count; }

int open(const char* path, int flags, mode_t mode) {
  if (faulted("open", path)) return -1;
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  const int fd = ::openat(at.dir, at.name.c_str(), flags | O_CLOEXEC | noFollow(at), mode);
  if (fd >= 0 && (flags & O_CREAT)) forgetMissingDirectories();
  noteOpened(fd, path, flags);
  return fd;
}

int mkstemp(char* pattern, mode_t mode) {
  if (faulted("mkstemp", pattern)) return -1;
  PathAt at;
  if (!resolveBelowPlace(pattern, at)) return -1;
  const std::string templ = at.name;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = templ;
    fillTemplate(name);
    const int fd = ::openat(at.dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0) {
      const size_t length = std::char_traits<char>::length(pattern);
      name.copy(pattern + length - name.size(), name.size());
      noteOpened(fd, pattern, O_WRONLY);
    }
    return fd;
  }
  return -1;
}

bool writeAll(int fd, const char* data, size_t size) {
  if (faulted("write")) return false;
  if (tracking()) noteWriting(fd);
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= size_t(put);
  }
  return true;
}

int close(int fd) {
  writtenFds.erase(fd);
  if (faulted("close")) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return ::close(fd);
}

int fchmod(int fd, mode_t mode) { return faulted("fchmod") ? -1 : ::fchmod(fd, mode); }

int fsync(int fd) {
  if (faulted("fsync")) return -1;
  if (tracking() && writtenFds.count(fd)) unsynced.erase(writtenFds[fd]);
  return ::fsync(fd);
}

void startWriteback(int fd) { ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

int syncfs(const char* path) {
  if (faulted("syncfs", path)) return -1;
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  const int fd = openDirectoryAt(at);
  if (fd < 0) return -1;
  const int result = ::syncfs(fd);
  ::close(fd);
  if (result == 0) unsynced.clear();
  return result;
}

int rename(const char* from, const char* to) {
  if (faulted("rename", to)) return -1;
  PathAt source, target;
  if (!resolveBothBelowPlace(from, source, to, target)) return -1;
  const int result = ::renameat(source.dir, source.name.c_str(), target.dir, target.name.c_str());
  // A directory renamed is no longer where it was, and one replaced is
  // another.
  if (result == 0) {
    forgetDirectory(from);
    forgetDirectory(to);
    forgetMissingDirectories();
  }
  const auto moved = unsynced.find(from);
  if (result == 0 && moved != unsynced.end()) {
    unsynced[to] = moved->second;
    unsynced.erase(from);
  }
  return result;
}

int unlink(const char* path) {
  if (faulted("unlink", path)) return -1;
  unsynced.erase(path);
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  return ::unlinkat(at.dir, at.name.c_str(), 0);
}

int rmdir(const char* path) {
  if (faulted("rmdir", path)) return -1;
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  const int result = ::unlinkat(at.dir, at.name.c_str(), AT_REMOVEDIR);
  if (result == 0) forgetDirectory(path);
  return result;
}

int mkdir(const char* path, mode_t mode) {
  if (faulted("mkdir", path)) return -1;
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  const int result = ::mkdirat(at.dir, at.name.c_str(), mode);
  // One that is there already may have been made by another since it was
  // found missing.
  if (result == 0 || errno == EEXIST) forgetMissingDirectories();
  return result;
}

int symlink(const char* text, const char* path) {
  if (faulted("symlink", path)) return -1;
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  const int result = ::symlinkat(text, at.dir, at.name.c_str());
  if (result == 0) forgetMissingDirectories();
  return result;
}

int openDirectory(const char* path) {
  PathAt at;
  if (!resolveBelowPlace(path, at)) return -1;
  return openDirectoryAt(at);
}

}  // namespace fileops

namespace fileops {

bool syncDirectory(const char* path) {
  const int fd = open(path, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  bool synced = fsync(fd) == 0;
  const int error = errno;
  if (close(fd) != 0) synced = false;
  errno = error;
  return synced;
}

}  // namespace fileops
