// Decompression of a zlib stream read from another stream buffer. Seeking
// goes forward only, by decompressing and discarding.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <istream>
#include <streambuf>

class InflateStreamBuf : public std::streambuf {
 public:
  // The source is not owned.
  explicit InflateStreamBuf(std::streambuf* source);
  ~InflateStreamBuf() override;
  InflateStreamBuf(const InflateStreamBuf&) = delete;
  InflateStreamBuf& operator=(const InflateStreamBuf&) = delete;

  // Decompressed bytes placed in the output buffer so far.
  uint64_t produced() const { return produced_; }
  // The data ended at damage, at a failed checksum or with the source
  // exhausted before the stream's end: what was handed out cannot be
  // trusted whole.
  bool damaged() const { return damaged_; }
  // Hands out up to most of the next decompressed bytes where they lie,
  // without copying them; 0 at the end of the data.
  size_t take(const char*& data, size_t most);

 protected:
  // A corrupt or truncated stream and an exhausted source all end the data
  // after the bytes decompressed before them.
  int_type underflow() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  // Large enough that zlib's fast loop runs long, and its window is
  // refreshed seldom, and that the source is read in few calls. Allocated
  // with the stream, on the heap.
  static constexpr size_t kOutputSize = 131072;
  static constexpr size_t kInputSize = 32768;
  static constexpr size_t kSkipChunk = 1024;

  // Inflates until some bytes come out; false at the end of the data.
  bool inflateMore();
  // Position of the next byte to be read among the decompressed bytes.
  uint64_t position() const;
  pos_type skip(uint64_t count);

  std::streambuf* source_;
  z_stream zstream_;
  bool ready_ = false;
  bool ended_ = false;  // the stream ended, broke or ran out of input
  bool damaged_ = false;
  uint64_t produced_ = 0;
  // One byte that can be put back after a refill, then the output.
  char output_[1 + kOutputSize];
  char input_[kInputSize];
};

// An input stream of the decompressed bytes of another stream's data.
class InflateStream : public std::istream {
 public:
  // Reads from source's stream buffer, which stays source's.
  explicit InflateStream(std::istream& source);
  ~InflateStream() override;
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  bool damaged() const { return buffer_->damaged(); }
  size_t take(const char*& data, size_t most) { return buffer_->take(data, most); }

 private:
  InflateStreamBuf* buffer_;  // owned
};
