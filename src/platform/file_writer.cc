#include "platform/file_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/file_ops.h"

namespace {

constexpr size_t kBufferSize = 8192;
constexpr uint64_t kWritebackFrom = 65536;

}  // namespace

FileWriter::FileWriter(int fd, int error)
    : fd_(fd), error_(fd < 0 ? (error ? error : EBADF) : 0), buffer_(new char[kBufferSize]) {
  setp(buffer_.get(), buffer_.get() + kBufferSize);
}

FileWriter::~FileWriter() { finish(); }

void FileWriter::fail() {
  if (error_ == 0) error_ = errno ? errno : EIO;
}

bool FileWriter::flushBuffer() {
  const size_t count = size_t(pptr() - pbase());
  written_ += count;
  setp(buffer_.get(), buffer_.get() + kBufferSize);
  if (failed()) return false;
  if (count > 0 && !fileops::writeAll(fd_, buffer_.get(), count)) fail();
  return !failed();
}

FileWriter::int_type FileWriter::overflow(int_type c) {
  if (!flushBuffer()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

// Large writes go to the file directly, past the buffer.
std::streamsize FileWriter::xsputn(const char* data, std::streamsize count) {
  if (count <= epptr() - pptr()) {
    std::memcpy(pptr(), data, size_t(count));
    pbump(int(count));
    return count;
  }
  if (!flushBuffer()) return 0;
  if (size_t(count) < kBufferSize) return xsputn(data, count);
  if (!fileops::writeAll(fd_, data, size_t(count))) {
    fail();
    return 0;
  }
  written_ += uint64_t(count);
  return count;
}

int FileWriter::sync() { return flushBuffer() ? 0 : -1; }

bool FileWriter::finish(bool durable) {
  if (fd_ < 0) return !failed();
  flushBuffer();
  if (durable && !failed() && fileops::fsync(fd_) != 0) fail();
  // A large file goes on its way to the disk while the next is made: the
  // sync of the commit then has little left to wait for.
  if (!durable && !failed() && written_ >= kWritebackFrom) fileops::startWriteback(fd_);
  if (fileops::close(fd_) != 0) fail();
  fd_ = -1;
  return !failed();
}
