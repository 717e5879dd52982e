// Bytes in memory as a stream buffer that counts what bulk reads hand out
// and the seeks asked of it, and can refuse to seek (like a pipe) or hand
// out short reads; and a package reader over such bytes.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "pkgfile/package_reader.h"

struct ByteSource : std::stringbuf {
  explicit ByteSource(const std::string& data, bool seekable = true, size_t maxChunk = 0)
      : std::stringbuf(data, std::ios_base::in), seekable(seekable), maxChunk(maxChunk) {}
  bool seekable;
  size_t maxChunk, delivered = 0, seeks = 0, largestRequest = 0;

 protected:
  std::streamsize xsgetn(char* buffer, std::streamsize count) override {
    largestRequest = std::max(largestRequest, size_t(count));
    const std::streamsize got = std::stringbuf::xsgetn(buffer, maxChunk ? std::min<std::streamsize>(count, maxChunk) : count);
    delivered += got;
    return got;
  }
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override {
    if (!seekable) return pos_type(off_type(-1));
    ++seeks;
    return std::stringbuf::seekoff(offset, direction, std::ios_base::in);
  }
  pos_type seekpos(pos_type to, std::ios_base::openmode which) override { return seekoff(to, std::ios_base::beg, which); }
};

// A reader over the bytes of file that stops at the wanted part types.
struct Walk {
  Walk(const std::string& file, std::vector<uint32_t> wanted, bool hashing = false, std::streambuf* tee = nullptr,
       bool seekable = true)
      : source(file, seekable), input(&source), reader(input, hashing, tee) {
    reader.wantedTypes = std::move(wanted);
  }
  ByteSource source;
  std::istream input;
  PackageReader reader;
};
