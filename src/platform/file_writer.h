// Writing a file through its descriptor: a buffer in front of the file
// operations, which remembers the first failure and the errno it left.
#pragma once

#include <cstdint>
#include <memory>
#include <streambuf>

class FileWriter : public std::streambuf {
 public:
  // Takes over an open descriptor; -1 makes a writer that has failed.
  explicit FileWriter(int fd, int error = 0);
  ~FileWriter() override;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Writes what is buffered, makes it durable when asked, and closes the
  // file. False when anything written was lost; error() tells why.
  bool finish(bool durable = false);
  bool failed() const { return error_ != 0; }
  int error() const { return error_; }
  // Bytes taken so far.
  uint64_t written() const { return written_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  bool flushBuffer();
  void fail();

  int fd_;
  int error_;
  uint64_t written_ = 0;
  std::unique_ptr<char[]> buffer_;
};
