// Writes a package file: the 8-byte file header, then typed parts with
// their lengths. The file is made under a temporary name beside its target
// and takes the target's name only when finished, so that a failed build
// leaves nothing behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class PackageWriter {
 public:
  PackageWriter() = default;
  ~PackageWriter();  // removes a file that was not finished
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Creates the temporary file and writes the file header with this magic.
  bool open(const std::string& path, uint32_t magic);
  // Starts a part; its length is filled in by endPart.
  bool beginPart(uint16_t type);
  // Appends to the current part.
  bool write(const void* data, size_t count);
  bool endPart();
  bool addPart(uint16_t type, const std::string& data);

  // Where the next byte goes.
  uint64_t offset() const { return offset_; }
  // Reading back and patching bytes already written.
  bool readAt(uint64_t offset, void* buffer, size_t count);
  bool writeAt(uint64_t offset, const void* data, size_t count);

  // Fills in the file header's length and gives the file its name.
  bool finish();
  // The first failure, with the system's message.
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& text);
  bool failErrno(const std::string& what);

  int fd_ = -1;
  std::string path_;
  std::string tempPath_;
  uint64_t offset_ = 0;
  uint64_t partHeader_ = 0;  // offset of the open part's header
  bool inPart_ = false;
  std::string error_;
};
