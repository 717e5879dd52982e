#include "platform/regular_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The descriptor and size of a regular file, or -1.
int openRegular(int dirFd, const char* path, int extraFlags, FileState& state, off_t& size) {
  // O_NONBLOCK: opening a FIFO for reading returns at once instead of
  // waiting for a writer; a regular file reads as it always does.
  const int fd = openat(dirFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | extraFlags);
  if (fd < 0) {
    state = FileState::Unopened;
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    state = FileState::NotRegular;
    return -1;
  }
  state = FileState::Opened;
  size = st.st_size;
  return fd;
}

}  // namespace

int openRegularFile(int dirFd, const char* path, FileState& state, int extraFlags) {
  off_t size;
  return openRegular(dirFd, path, extraFlags, state, size);
}

FileState readRegularFile(int dirFd, const char* path, size_t limit, std::string& content,
                          int extraFlags) {
  content.clear();
  FileState state;
  off_t size = 0;
  const int fd = openRegular(dirFd, path, extraFlags, state, size);
  if (fd < 0) return state;
  if (uint64_t(size) > limit) {
    close(fd);
    return FileState::TooLarge;
  }
  // A file that grows while it is read is cut at the bound.
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (content.size() + size_t(got) > limit) {
      close(fd);
      content.clear();
      return FileState::TooLarge;
    }
    content.append(buffer, size_t(got));
    // A short read is the end of a regular file: it spares a last read per
    // file, which counts when a few files of every package are read.
    if (size_t(got) < sizeof buffer) break;
  }
  close(fd);
  return FileState::Opened;
}

std::string unreadReason(FileState state, size_t limit) {
  if (state == FileState::TooLarge) return "is larger than " + std::to_string(limit) + " bytes";
  return "is not a regular file";
}
