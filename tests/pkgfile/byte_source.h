// A stream buffer over bytes in memory that counts what it delivers, can
// refuse to seek (like a pipe) and can hand out short reads.
#pragma once

#include <algorithm>
#include <streambuf>
#include <string>

class ByteSource : public std::streambuf {
 public:
  explicit ByteSource(std::string data, bool seekable = true, size_t maxChunk = 0)
      : data_(std::move(data)), seekable_(seekable), maxChunk_(maxChunk) {}

  size_t delivered() const { return delivered_; }  // bytes handed out, put-backs read again included
  size_t seeks() const { return seeks_; }           // seeks that succeeded
  size_t largestRequest() const { return largestRequest_; }
  size_t position() const { return position_; }

 protected:
  std::streamsize xsgetn(char* buffer, std::streamsize count) override {
    largestRequest_ = std::max(largestRequest_, size_t(count));
    size_t n = std::min(size_t(count), data_.size() - position_);
    if (maxChunk_ != 0) n = std::min(n, maxChunk_);
    data_.copy(buffer, n, position_);
    position_ += n;
    delivered_ += n;
    return n;
  }
  int_type underflow() override {
    return position_ < data_.size() ? traits_type::to_int_type(data_[position_]) : traits_type::eof();
  }
  int_type uflow() override {
    if (position_ >= data_.size()) return traits_type::eof();
    ++delivered_;
    return traits_type::to_int_type(data_[position_++]);
  }
  int_type pbackfail(int_type c) override {
    if (position_ == 0) return traits_type::eof();
    --position_;
    return traits_type::eq_int_type(c, traits_type::eof()) ? traits_type::to_int_type(data_[position_])
                                                           : c;
  }
  std::streamsize showmanyc() override { return data_.size() - position_; }
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override {
    off_type base = direction == std::ios_base::beg ? 0
                    : direction == std::ios_base::cur ? off_type(position_)
                                                      : off_type(data_.size());
    return seekpos(pos_type(base + offset), std::ios_base::in);
  }
  pos_type seekpos(pos_type target, std::ios_base::openmode) override {
    const off_type to = off_type(target);
    if (!seekable_ || to < 0 || to > off_type(data_.size())) return pos_type(off_type(-1));
    position_ = size_t(to);
    ++seeks_;
    return target;
  }

 private:
  std::string data_;
  bool seekable_;
  size_t maxChunk_;
  size_t position_ = 0;
  size_t delivered_ = 0;
  size_t seeks_ = 0;
  size_t largestRequest_ = 0;
};
