#include "pkgfile/package_reader.h"

#include <algorithm>
#include <cstring>

#include "pkgfile/little_endian.h"
#include "pkgfile/verification.h"

namespace {

using traits = std::char_traits<char>;

const std::streambuf::pos_type kSeekFailed(std::streambuf::off_type(-1));

// Offsets further than this from a part's start cannot name a position in it.
constexpr int64_t kFarOffset = int64_t(1) << 40;

constexpr size_t kFileHeaderSize = 8;
constexpr size_t kPartHeaderSize = 6;
constexpr size_t kLegacySignatureSize = 68;
constexpr size_t kFullSignatureSize = 132;

// The SHA-1 digest of no bytes: what the running digest of a reader that
// does not hash holds when it is finalised.
constexpr uint8_t kEmptySha1[20] = {0xda, 0x39, 0xa3, 0xee, 0x5e, 0x6b, 0x4b, 0x0d, 0x32, 0x55,
                                    0xbf, 0xef, 0x95, 0x60, 0x18, 0x90, 0xaf, 0xd8, 0x07, 0x09};

}  // namespace

PartStreamBuf::PartStreamBuf(std::streambuf* source, bool hashing, std::streambuf* tee)
    : source_(source), tee_(tee), hashing_(hashing) {
  if (hashing_) {
    sha1_.reset(new SHA1);
    running_ = sha1_.get();
  }
}

bool PartStreamBuf::readFileHeader(uint32_t& magic, uint32_t& length) {
  if (source_ == nullptr) return false;
  uint8_t header[kFileHeaderSize];
  if (source_->sgetn(reinterpret_cast<char*>(header), kFileHeaderSize) !=
      std::streamsize(kFileHeaderSize))
    return false;
  // The file header is copied but never hashed.
  copyToTee(reinterpret_cast<const char*>(header), kFileHeaderSize);
  magic = readLe32(header);
  length = readLe32(header + 4);
  partStart_ += kFileHeaderSize;
  return true;
}

int PartStreamBuf::readPartHeader() {
  if (source_ == nullptr || !skipRestOfPart()) return -1;
  partStart_ += partLength_;
  partLength_ = 0;

  uint8_t header[kPartHeaderSize];
  if (source_->sgetn(reinterpret_cast<char*>(header), kPartHeaderSize) !=
      std::streamsize(kPartHeaderSize)) {
    finaliseDigest();
    return -1;
  }
  const int type = readLe16(header);
  copyToTee(reinterpret_cast<const char*>(header), kPartHeaderSize);
  if (hashing_) {
    if (type == Sha256Marker) {
      if (!sha256_) sha256_.reset(new SHA256);
      running_ = sha256_.get();
    }
    if (type == PackageHeader) finaliseDigest();
    running_->update(header, kPartHeaderSize);
  }
  partStart_ += kPartHeaderSize;
  partLength_ = remaining_ = readLe32(header + 2);
  return type;
}

int PartStreamBuf::verifySignature() {
  if (!hashing_) return 0;
  finaliseDigest();
  if (remaining_ < kLegacySignatureSize) return 0;
  const size_t wanted = remaining_ >= kFullSignatureSize ? kFullSignatureSize : kLegacySignatureSize;
  uint8_t signature[kFullSignatureSize];
  // The signature is copied to the tee but is no part of what it signs.
  const size_t got = rawRead(reinterpret_cast<char*>(signature), wanted, false);
  remaining_ -= got;
  if (got < wanted) return 0;
  return signatureLevel(digest_, signature, wanted);
}

void PartStreamBuf::finaliseDigest() {
  memset(digest_, 0, sizeof digest_);
  if (running_)
    running_->final(digest_);
  else
    memcpy(digest_, kEmptySha1, sizeof kEmptySha1);
  digestReady_ = true;
}

void PartStreamBuf::copyToTee(const char* bytes, size_t count) {
  if (tee_ != nullptr && tee_->sputn(bytes, count) != std::streamsize(count)) teeFailed_ = true;
}

void PartStreamBuf::consumed(const char* bytes, size_t count, bool feedDigest) {
  // Bytes read again after a put-back were copied and hashed the first time.
  const size_t seen = std::min<size_t>(noHashCount_, count);
  noHashCount_ -= seen;
  bytes += seen;
  count -= seen;
  if (count == 0) return;
  copyToTee(bytes, count);
  if (hashing_ && feedDigest) running_->update(bytes, count);
}

size_t PartStreamBuf::rawRead(char* buffer, size_t count, bool feedDigest) {
  const std::streamsize got = source_->sgetn(buffer, count);
  if (got <= 0) return 0;
  consumed(buffer, got, feedDigest);
  return got;
}

uint64_t PartStreamBuf::skipByReading(uint64_t count) {
  uint64_t total = 0;
  while (total < count) {
    const size_t chunk = std::min<uint64_t>(kSkipChunk, count - total);
    const size_t got = rawRead(scratch_, chunk);
    total += got;
    if (got < chunk) break;
  }
  return total;
}

bool PartStreamBuf::skipRestOfPart() {
  if (remaining_ == 0) return true;
  // With nothing to copy or hash, the bytes need not be read at all.
  if (!copying() &&
      source_->pubseekoff(remaining_, std::ios_base::cur, std::ios_base::in | std::ios_base::out) !=
          kSeekFailed) {
    remaining_ = 0;
    return true;
  }
  const uint32_t wanted = remaining_;
  const uint64_t got = skipByReading(wanted);
  remaining_ -= got;
  return got == wanted;
}

std::streamsize PartStreamBuf::xsgetn(char* buffer, std::streamsize count) {
  if (remaining_ == 0 || count <= 0) return 0;
  const size_t got = rawRead(buffer, std::min<uint64_t>(count, remaining_));
  remaining_ -= got;
  return got;
}

PartStreamBuf::int_type PartStreamBuf::underflow() {
  if (remaining_ == 0) return traits::eof();
  return source_->sgetc();
}

PartStreamBuf::int_type PartStreamBuf::uflow() {
  if (remaining_ == 0) return traits::eof();
  const int_type c = source_->sbumpc();
  if (traits::eq_int_type(c, traits::eof())) return c;
  --remaining_;
  const char byte = traits::to_char_type(c);
  consumed(&byte, 1, true);
  return c;
}

PartStreamBuf::int_type PartStreamBuf::pbackfail(int_type c) {
  if (remaining_ == partLength_) return traits::eof();
  const int_type result = traits::eq_int_type(c, traits::eof())
                              ? source_->sungetc()
                              : source_->sputbackc(traits::to_char_type(c));
  if (traits::eq_int_type(result, traits::eof())) return result;
  ++remaining_;
  if (copying()) ++noHashCount_;
  return result;
}

std::streamsize PartStreamBuf::showmanyc() {
  if (remaining_ == 0) return -1;
  const std::streamsize available = source_->in_avail();
  if (available < 0 || uint64_t(available) <= remaining_) return available;
  return remaining_;
}

PartStreamBuf::pos_type PartStreamBuf::seekoff(off_type offset, std::ios_base::seekdir direction,
                                               std::ios_base::openmode which) {
  if (offset > kFarOffset || offset < -kFarOffset) return kSeekFailed;
  off_type base = 0;
  if (direction == std::ios_base::end)
    base = partLength_;
  else if (direction == std::ios_base::cur)
    base = partLength_ - remaining_;
  return seekpos(pos_type(base + offset), which);
}

PartStreamBuf::pos_type PartStreamBuf::seekpos(pos_type position, std::ios_base::openmode) {
  const off_type target = off_type(position);
  if (target < 0 || target > off_type(partLength_)) return kSeekFailed;
  const uint32_t current = partLength_ - remaining_;
  if (target == current) return position;
  if (!copying() &&
      source_->pubseekpos(pos_type(off_type(partStart_) + target), std::ios_base::in) != kSeekFailed) {
    remaining_ = partLength_ - uint32_t(target);
    return position;
  }
  // Bytes that are copied or hashed can only be passed over forwards.
  if (target < current) return kSeekFailed;
  const uint64_t distance = uint64_t(target) - current;
  const uint64_t skipped = skipByReading(distance);
  remaining_ -= skipped;
  return skipped == distance ? position : kSeekFailed;
}

PackageReader::PackageReader(std::istream& source, bool hashing, std::streambuf* tee)
    : PackageReader(source.rdbuf(), hashing, tee) {}

PackageReader::PackageReader(std::streambuf* source, bool hashing, std::streambuf* tee)
    : std::istream(nullptr), buffer_(new PartStreamBuf(source, hashing, tee)) {
  rdbuf(buffer_);
  uint32_t length = 0;
  if (buffer_->readFileHeader(magic_, length)) totalSize_ = length + 8;
  if (magic_ != PACKAGE_MAGIC && magic_ != PACKAGE_MAGIC_UNTRACKED) setstate(badbit);
}

PackageReader::~PackageReader() { delete buffer_; }

int PackageReader::nextPart() {
  if (fail()) {
    currentType_ = -1;
    return -1;
  }
  clear();
  while ((currentType_ = buffer_->readPartHeader()) != -1) {
    if (wanted(currentType_)) return currentType_;
  }
  setstate(eofbit | failbit);
  return -1;
}

bool PackageReader::wanted(int type) const {
  return std::find(wantedTypes.begin(), wantedTypes.end(), uint32_t(type)) != wantedTypes.end();
}
