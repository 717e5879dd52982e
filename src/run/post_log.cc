#include "run/post_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "pkg/console.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "platform/file_writer.h"
#include "platform/regular_file.h"

namespace {

const size_t kBlankSize = 4096;
const size_t kChunk = 16384;

// Set once the log has been read and blanked in this run.
bool postLogReset = false;

ssize_t readAt(int fd, char* buffer, size_t size, off_t at) {
  ssize_t got;
  do got = pread(fd, buffer, size, at);
  while (got < 0 && errno == EINTR);
  return got;
}

// The length of the complete lines at the start of a file: up to its last
// line feed. A last line cut short, and the zeros of a blanked log after
// it, are no message.
off_t completeLength(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return 0;
  char buffer[kChunk];
  for (off_t end = st.st_size; end > 0;) {
    const size_t size = size_t(std::min<off_t>(end, kChunk));
    if (readAt(fd, buffer, size, end - size) != ssize_t(size)) return 0;
    if (const void* feed = memrchr(buffer, '\n', size))
      return end - off_t(size) + (static_cast<const char*>(feed) - buffer) + 1;
    end -= off_t(size);
  }
  return 0;
}

// Writes the complete lines of the log onto the end of to, without the
// zeros of a blanking at its start; a chunk at a time.
void copyCompleteLines(int to) {
  FileState state;
  const int from = openRegularFile(PATH_POST_LOG, state);
  if (from < 0) return;
  const off_t end = completeLength(from);
  char buffer[kChunk];
  bool blank = true;
  for (off_t at = 0; at < end;) {
    const ssize_t got = readAt(from, buffer, size_t(std::min<off_t>(end - at, kChunk)), at);
    if (got <= 0) break;
    at += got;
    size_t skip = 0;
    if (blank) {
      while (skip < size_t(got) && buffer[skip] == '\0') ++skip;
      blank = skip == size_t(got);
    }
    if (!fileops::writeAll(to, buffer + skip, size_t(got) - skip)) break;
  }
  close(from);
}

void writeMessages(int fd, const PackageDb& db) {
  FileWriter out(fd);
  for (const std::string& message : db.messages) {
    out.sputn(message.data(), std::streamsize(message.size()));
    out.sputc('\n');
  }
  out.finish(true);
}

// Makes the earlier lines set aside, followed by what more writes (and
// makes durable), the log. False when there are none set aside, or they
// cannot be written to.
template <typename Write>
bool writeAfterEarlierLines(Write more) {
  const int fd = fileops::open(PATH_POST_LOG_EARLIER, O_RDWR | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    // Not what a run leaves there: nothing to restore.
    fileops::close(fd);
    fileops::unlink(PATH_POST_LOG_EARLIER);
    return false;
  }
  const off_t end = completeLength(fd);
  if (ftruncate(fd, end) != 0 || lseek(fd, end, SEEK_SET) != end) {
    // They stay set aside for the next start.
    fileops::close(fd);
    return false;
  }
  // Written durably before it replaces the log: a cut leaves the earlier
  // lines in one of the two files.
  more(fd);
  fileops::rename(PATH_POST_LOG_EARLIER, PATH_POST_LOG);
  fileops::syncDirectory(PATH_FLASH);
  return true;
}

// A log that is not a regular file is replaced by one; a directory stays.
void blankLog() {
  struct stat st;
  if (lstat(PATH_POST_LOG, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    fileops::unlink(PATH_POST_LOG);
  const int fd = fileops::open(PATH_POST_LOG, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK, 0644);
  if (fd < 0) return;
  static const char zeros[kBlankSize] = {};
  FileWriter blank(fd);
  blank.sputn(zeros, sizeof zeros);
  blank.finish(true);
}

}  // namespace

void restorePostLog() {
  writeAfterEarlierLines([](int fd) {
    copyCompleteLines(fd);
    fileops::fsync(fd);
    fileops::close(fd);
  });
}

void readPostLog(PackageDb& db) {
  // Lines still set aside are never overwritten: while they are there, the
  // log stays as it is and this run's messages go after it.
  struct stat st;
  if (lstat(PATH_POST_LOG_EARLIER, &st) == 0) return;
  const bool present = lstat(PATH_POST_LOG, &st) == 0;
  if (present && !S_ISREG(st.st_mode))
    // A link, a FIFO, a device: nothing of it is taken, and it is replaced.
    printWarning(db, "%s is not a regular file", PATH_POST_LOG);
  else if (present && fileops::rename(PATH_POST_LOG, PATH_POST_LOG_EARLIER) != 0)
    return;
  blankLog();
  postLogReset = true;
}

void writePostLog(PackageDb& db) {
  if (!postLogReset && db.messages.empty()) return;
  sync();
  if (postLogReset && writeAfterEarlierLines([&](int fd) { writeMessages(fd, db); })) return;
  // A FIFO in the log's place is not waited for.
  const int fd = fileops::open(PATH_POST_LOG, O_WRONLY | O_CREAT | O_NONBLOCK | (postLogReset ? O_TRUNC : O_APPEND),
                               0644);
  if (fd >= 0) writeMessages(fd, db);
}
