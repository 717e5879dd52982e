#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace fileops {
namespace {

FaultPlan plan;
uint64_t count = 0;

// What a power cut would take back: the files written since they were last
// made durable. Kept only while a test has planned a fault.
std::map<int, std::string> writtenFds;
std::set<std::string> unsynced;

bool tracking() { return plan.fault != Fault::None; }

void cutPower() {
  for (const std::string& path : unsynced) ::truncate(path.c_str(), 0);
  _exit(FAULT_EXIT_STATUS);
}

// Counts the operation; true when it is to fail, with errno set.
bool faulted() {
  if (++count != plan.at || plan.fault == Fault::None) return false;
  switch (plan.fault) {
    case Fault::Kill: _exit(FAULT_EXIT_STATUS);
    case Fault::PowerCut: cutPower();
    default: break;
  }
  errno = plan.error;
  return true;
}

void noteOpened(int fd, const char* path, int flags) {
  if (fd >= 0 && tracking() && (flags & (O_WRONLY | O_RDWR))) writtenFds[fd] = path;
}

}  // namespace

void setFaultPlan(const FaultPlan& newPlan) { plan = newPlan; }
uint64_t operationCount() { return count; }

int open(const char* path, int flags, mode_t mode) {
  if (faulted()) return -1;
  const int fd = ::open(path, flags | O_CLOEXEC, mode);
  noteOpened(fd, path, flags);
  return fd;
}

int mkstemp(char* pattern) {
  if (faulted()) return -1;
  const int fd = ::mkostemp(pattern, O_CLOEXEC);
  noteOpened(fd, pattern, O_WRONLY);
  return fd;
}

bool writeAll(int fd, const char* data, size_t size) {
  if (faulted()) return false;
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= size_t(put);
  }
  if (tracking() && writtenFds.count(fd)) unsynced.insert(writtenFds[fd]);
  return true;
}

int close(int fd) {
  writtenFds.erase(fd);
  if (faulted()) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return ::close(fd);
}

int fchmod(int fd, mode_t mode) { return faulted() ? -1 : ::fchmod(fd, mode); }

int fsync(int fd) {
  if (faulted()) return -1;
  if (tracking() && writtenFds.count(fd)) unsynced.erase(writtenFds[fd]);
  return ::fsync(fd);
}

int syncfs(const char* path) {
  if (faulted()) return -1;
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int result = ::syncfs(fd);
  ::close(fd);
  if (result == 0) unsynced.clear();
  return result;
}

int rename(const char* from, const char* to) {
  if (faulted()) return -1;
  const int result = ::rename(from, to);
  if (result == 0 && tracking() && unsynced.erase(from)) unsynced.insert(to);
  return result;
}

int unlink(const char* path) {
  if (faulted()) return -1;
  unsynced.erase(path);
  return ::unlink(path);
}

int rmdir(const char* path) { return faulted() ? -1 : ::rmdir(path); }
int mkdir(const char* path, mode_t mode) { return faulted() ? -1 : ::mkdir(path, mode); }
int symlink(const char* text, const char* path) { return faulted() ? -1 : ::symlink(text, path); }

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
