#include "package_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "le_encode.h"

namespace {

constexpr size_t kFileHeaderSize = 8;
constexpr size_t kPartHeaderSize = 6;
// The file header's length is a 32-bit number, and so is the reader's idea
// of the total size: the whole file must stay below 4 GiB.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

}  // namespace

PackageWriter::~PackageWriter() {
  if (fd_ < 0) return;
  close(fd_);
  unlink(tempPath_.c_str());
}

bool PackageWriter::fail(const std::string& text) {
  if (error_.empty()) error_ = text;
  return false;
}

bool PackageWriter::failErrno(const std::string& what) {
  return fail(what + ": " + strerror(errno));
}

bool PackageWriter::open(const std::string& path, uint32_t magic) {
  path_ = path;
  std::vector<char> name(path.begin(), path.end());
  const char suffix[] = ".tmpXXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  fd_ = mkstemp(name.data());
  if (fd_ < 0) return failErrno(path);
  tempPath_ = name.data();
  uint8_t header[kFileHeaderSize];
  storeLe32(header, magic);
  storeLe32(header + 4, 0);  // the length, known at the end
  return write(header, sizeof header);
}

bool PackageWriter::write(const void* data, size_t count) {
  if (fd_ < 0 || !error_.empty()) return false;
  if (offset_ + count > kMaxFileSize) return fail(path_ + ": a package file must stay below 4 GiB");
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t written = ::write(fd_, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return failErrno(tempPath_);
    bytes += written;
    count -= size_t(written);
    offset_ += uint64_t(written);
  }
  return true;
}

bool PackageWriter::beginPart(uint16_t type) {
  if (inPart_) return fail("internal error: part not ended");
  uint8_t header[kPartHeaderSize];
  storeLe16(header, type);
  storeLe32(header + 2, 0);
  partHeader_ = offset_;
  inPart_ = true;
  return write(header, sizeof header);
}

bool PackageWriter::endPart() {
  if (!inPart_) return fail("internal error: no part to end");
  inPart_ = false;
  uint8_t length[4];
  storeLe32(length, uint32_t(offset_ - partHeader_ - kPartHeaderSize));
  return writeAt(partHeader_ + 2, length, sizeof length);
}

bool PackageWriter::addPart(uint16_t type, const std::string& data) {
  return beginPart(type) && write(data.data(), data.size()) && endPart();
}

bool PackageWriter::readAt(uint64_t offset, void* buffer, size_t count) {
  if (fd_ < 0 || !error_.empty()) return false;
  char* bytes = static_cast<char*>(buffer);
  while (count > 0) {
    const ssize_t got = pread(fd_, bytes, count, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0)
      return got < 0 ? failErrno(tempPath_) : fail(tempPath_ + ": shorter than written");
    bytes += got;
    count -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}

bool PackageWriter::writeAt(uint64_t offset, const void* data, size_t count) {
  if (fd_ < 0 || !error_.empty()) return false;
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t written = pwrite(fd_, bytes, count, off_t(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return failErrno(tempPath_);
    bytes += written;
    count -= size_t(written);
    offset += uint64_t(written);
  }
  return true;
}

bool PackageWriter::finish() {
  if (fd_ < 0 || !error_.empty()) return false;
  if (inPart_) return fail("internal error: part not ended");
  uint8_t length[4];
  storeLe32(length, uint32_t(offset_ - kFileHeaderSize));
  if (!writeAt(4, length, sizeof length)) return false;
  // mkstemp made the file private; give it the permissions a new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd_, 0666 & ~mask) != 0) return failErrno(tempPath_);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    unlink(tempPath_.c_str());
    return failErrno(tempPath_);
  }
  if (rename(tempPath_.c_str(), path_.c_str()) != 0) {
    failErrno(path_);
    unlink(tempPath_.c_str());
    return false;
  }
  return true;
}
