#include "pkgfile/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/regular_file.h"

FileSource::~FileSource() {
  if (fd_ >= 0) close(fd_);
}

bool FileSource::open(const std::string& path) {
  if (fd_ >= 0) close(fd_);
  FileState state;
  fd_ = openRegularFile(path.c_str(), state);
  setStart(0, 0);
  return fd_ >= 0;
}

void FileSource::setStart(off_type at, size_t count) {
  start_ = at;
  setg(buffer_, buffer_, buffer_ + count);
}

// Reads go through pread at the stream's position, so passing over a
// payload only moves the position and costs no system call. A read that
// returns fewer bytes than asked marks the end of the file, as it does for
// regular files.
FileSource::int_type FileSource::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const off_type at = position();
  if (fd_ < 0 || (ended_ && at >= end_)) return traits_type::eof();
  ssize_t got;
  do got = pread(fd_, buffer_, sizeof buffer_, at);
  while (got < 0 && errno == EINTR);
  if (got <= 0) {
    setStart(at, 0);
    return traits_type::eof();
  }
  if (size_t(got) < sizeof buffer_) {
    ended_ = true;
    end_ = at + got;
  }
  setStart(at, size_t(got));
  return traits_type::to_int_type(*gptr());
}

std::streamsize FileSource::xsgetn(char* out, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    const std::streamsize buffered = std::min<std::streamsize>(egptr() - gptr(), count - done);
    if (buffered > 0) {
      memcpy(out + done, gptr(), size_t(buffered));
      gbump(int(buffered));
      done += buffered;
      continue;
    }
    const std::streamsize left = count - done;
    if (left < std::streamsize(sizeof buffer_)) {
      if (traits_type::eq_int_type(underflow(), traits_type::eof())) break;
      continue;
    }
    const off_type at = position();
    if (fd_ < 0 || (ended_ && at >= end_)) break;
    ssize_t got;
    do got = pread(fd_, out + done, size_t(left), at);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
      setStart(at, 0);
      break;
    }
    if (got < left) {
      ended_ = true;
      end_ = at + got;
    }
    setStart(at + got, 0);
    done += got;
  }
  return done;
}

// Seeks behave as on a file: past the end is allowed, and reads there find
// nothing.
FileSource::pos_type FileSource::seekoff(off_type offset, std::ios_base::seekdir direction,
                                         std::ios_base::openmode) {
  off_type base = 0;
  if (direction == std::ios_base::cur) {
    base = position();
  } else if (direction == std::ios_base::end) {
    struct stat status;
    if (fd_ < 0 || fstat(fd_, &status) != 0) return pos_type(off_type(-1));
    base = status.st_size;
  }
  const off_type target = base + offset;
  if (target < 0) return pos_type(off_type(-1));
  if (target >= start_ && target <= start_ + (egptr() - eback()))
    setg(eback(), eback() + (target - start_), egptr());
  else
    setStart(target, 0);
  return pos_type(target);
}

FileSource::pos_type FileSource::seekpos(pos_type position, std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}
