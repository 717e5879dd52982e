// A package file opened for reading, as the stream buffer beneath a
// PackageReader. Unlike the runtime's file buffer, which throws when a read
// fails (a directory where a file was expected, an I/O error of the flash),
// a failed read here is simply the end of the data, and the reader reports
// the file as broken.
#pragma once

#include <string>
#include <streambuf>

class FileSource : public std::streambuf {
 public:
  FileSource() = default;
  // Takes over an open descriptor; -1 leaves the source closed.
  explicit FileSource(int fd) : fd_(fd) {}
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens a regular file; anything else (a FIFO would block every read, a
  // device such as /dev/zero never ends) is not opened.
  bool open(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }

 protected:
  int_type underflow() override;
  // Large reads go from the file straight into the caller's memory.
  std::streamsize xsgetn(char* out, std::streamsize count) override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  off_type position() const { return start_ + (gptr() - eback()); }
  void setStart(off_type at, size_t count);

  int fd_ = -1;
  off_type start_ = 0;  // the file offset of buffer_[0]
  bool ended_ = false;  // a short read found the end, at end_
  off_type end_ = 0;
  char buffer_[8192];
};
