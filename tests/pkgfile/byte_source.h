// A stream buffer over bytes in memory that counts the bytes handed out by
// bulk reads and the seeks asked of it, can refuse to seek (like a pipe) and
// can hand out short reads; and a package reader over such bytes.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "pkgfile/package_reader.h"

class ByteSource : public std::stringbuf {
 public:
  explicit ByteSource(const std::string& data, bool seekable = true, size_t maxChunk = 0)
      : std::stringbuf(data, std::ios_base::in), seekable_(seekable), maxChunk_(maxChunk) {}

  size_t delivered() const { return delivered_; }
  size_t seeks() const { return seeks_; }
  size_t largestRequest() const { return largestRequest_; }

 protected:
  std::streamsize xsgetn(char* buffer, std::streamsize count) override {
    largestRequest_ = std::max(largestRequest_, size_t(count));
    if (maxChunk_ != 0) count = std::min(count, std::streamsize(maxChunk_));
    const std::streamsize got = std::stringbuf::xsgetn(buffer, count);
    delivered_ += got;
    return got;
  }
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override {
    if (!seekable_) return pos_type(off_type(-1));
    ++seeks_;
    return std::stringbuf::seekoff(offset, direction, std::ios_base::in);
  }
  pos_type seekpos(pos_type target, std::ios_base::openmode which) override {
    return seekoff(off_type(target), std::ios_base::beg, which);
  }

 private:
  bool seekable_;
  size_t maxChunk_;
  size_t delivered_ = 0;
  size_t seeks_ = 0;
  size_t largestRequest_ = 0;
};

// A reader over the bytes of file that stops at the wanted part types.
struct Walk {
  Walk(const std::string& file, std::vector<uint32_t> wanted, bool hashing = false,
       std::streambuf* tee = nullptr, bool seekable = true)
      : source(file, seekable), input(&source), reader(input, hashing, tee) {
    reader.wantedTypes = std::move(wanted);
  }
  std::string digest() const { return std::string(reinterpret_cast<const char*>(reader.digest()), 32); }
  ByteSource source;
  std::istream input;
  PackageReader reader;
};
