#include "pkgfile/inflate_stream.h"

#include <algorithm>
#include <cstring>

namespace {

using traits = std::char_traits<char>;

const std::streambuf::pos_type kSeekFailed(std::streambuf::off_type(-1));

}  // namespace

InflateStreamBuf::InflateStreamBuf(std::streambuf* source) : source_(source) {
  memset(&zstream_, 0, sizeof zstream_);
  ready_ = inflateInit(&zstream_) == Z_OK;
}

InflateStreamBuf::~InflateStreamBuf() {
  if (ready_) inflateEnd(&zstream_);
}

InflateStreamBuf::int_type InflateStreamBuf::underflow() {
  if (gptr() < egptr()) return traits::to_int_type(*gptr());

  // Keep the last byte read, so that it can still be put back.
  const bool keepLast = gptr() != nullptr && gptr() > eback();
  if (keepLast) output_[0] = gptr()[-1];

  if (!inflateMore()) return traits::eof();
  const size_t count = kOutputSize - zstream_.avail_out;
  produced_ += count;
  char* const fresh = output_ + 1;
  setg(keepLast ? output_ : fresh, fresh, fresh + count);
  return traits::to_int_type(*gptr());
}

bool InflateStreamBuf::inflateMore() {
  if (ended_) return false;
  if (!ready_ || source_ == nullptr) {
    ended_ = damaged_ = true;
    return false;
  }
  // A call that consumes input without producing output (a block split
  // across refills) hands out nothing: go on until bytes come out.
  for (;;) {
    if (zstream_.avail_in == 0) {
      const std::streamsize got = source_->sgetn(input_, kInputSize);
      if (got <= 0) {
        // An empty payload holds nothing; one cut before its end is damaged.
        ended_ = true;
        damaged_ = zstream_.total_in > 0;
        return false;
      }
      zstream_.next_in = reinterpret_cast<Bytef*>(input_);
      zstream_.avail_in = got;
    }
    zstream_.next_out = reinterpret_cast<Bytef*>(output_ + 1);
    zstream_.avail_out = kOutputSize;
    // At the end of the stream, or at damage, the bytes that came out
    // before it are still handed out; nothing comes after them. Damage is
    // kept, for the reader to refuse what it took.
    const int result = inflate(&zstream_, Z_PARTIAL_FLUSH);
    if (result != Z_OK) ended_ = true;
    if (result != Z_OK && result != Z_STREAM_END) damaged_ = true;
    if (zstream_.avail_out < kOutputSize) return true;
    if (ended_) return false;
  }
}

size_t InflateStreamBuf::take(const char*& data, size_t most) {
  if (gptr() == egptr() && traits::eq_int_type(underflow(), traits::eof())) return 0;
  const size_t count = std::min<size_t>(size_t(egptr() - gptr()), most);
  data = gptr();
  gbump(int(count));
  return count;
}

uint64_t InflateStreamBuf::position() const { return produced_ - (egptr() - gptr()); }

InflateStreamBuf::pos_type InflateStreamBuf::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                     std::ios_base::openmode) {
  if (direction == std::ios_base::end) return kSeekFailed;
  if (direction == std::ios_base::beg) {
    if (offset < 0 || uint64_t(offset) < position()) return kSeekFailed;
    return skip(uint64_t(offset) - position());
  }
  if (offset < 0) return kSeekFailed;
  return skip(offset);
}

InflateStreamBuf::pos_type InflateStreamBuf::seekpos(pos_type position, std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

InflateStreamBuf::pos_type InflateStreamBuf::skip(uint64_t count) {
  char discard[kSkipChunk];
  while (count > 0) {
    const std::streamsize chunk = count < kSkipChunk ? count : kSkipChunk;
    if (xsgetn(discard, chunk) != chunk) return kSeekFailed;
    count -= chunk;
  }
  return pos_type(off_type(position()));
}

InflateStream::InflateStream(std::istream& source)
    : std::istream(nullptr), buffer_(new InflateStreamBuf(source.rdbuf())) {
  rdbuf(buffer_);
}

InflateStream::~InflateStream() { delete buffer_; }
