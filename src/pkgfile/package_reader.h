// The reader of package files: an 8-byte file header, then typed,
// length-prefixed parts back to back. PartStreamBuf presents the data of one
// part at a time; PackageReader walks from part to part.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <vector>

#include "pkgfile/part_type.h"
#include "platform/hash.h"

constexpr uint32_t PACKAGE_MAGIC = 0xBAD0F11E;
constexpr uint32_t PACKAGE_MAGIC_UNTRACKED = 0xA1100FFB;  // installed without a database entry
constexpr uint32_t PACKAGE_MAGIC_NONE = 0xFFFFFFFF;       // the file header was cut short

// The data of the current part as a stream of exactly part-length bytes.
// Every byte consumed from the source is copied to the tee, if any, and fed
// to the running digest while hashing is on. The running digest is SHA-1
// until a part header of type 25 switches it to SHA-256; it is finalised at
// every type-1 part header, at the end of the parts and when a signature is
// checked.
class PartStreamBuf : public std::streambuf {
 public:
  // Neither source nor tee is owned; tee may be null.
  PartStreamBuf(std::streambuf* source, bool hashing, std::streambuf* tee);
  PartStreamBuf(const PartStreamBuf&) = delete;
  PartStreamBuf& operator=(const PartStreamBuf&) = delete;

  // Reads the 8-byte file header; false when it is cut short.
  bool readFileHeader(uint32_t& magic, uint32_t& length);
  // Passes over what is left of the current part and reads the next part
  // header. Returns its type, or -1 at the end of the parts or when the
  // current part is cut short.
  int readPartHeader();
  // Checks the Signature part standing here against the digest: 0 none
  // valid (or hashing off), 1 the legacy signature, 2 the EdDSA signature.
  int verifySignature();

  uint32_t partStart() const { return partStart_; }
  uint32_t partLength() const { return partLength_; }
  uint32_t remaining() const { return remaining_; }
  bool digestReady() const { return digestReady_; }
  // Some bytes could not be written to the tee: its copy is incomplete.
  bool teeFailed() const { return teeFailed_; }
  // 32 bytes; a SHA-1 digest fills the first 20 and leaves the rest zero.
  const uint8_t* digest() const { return digest_; }

 protected:
  std::streamsize xsgetn(char* buffer, std::streamsize count) override;
  int_type underflow() override;
  int_type uflow() override;
  int_type pbackfail(int_type c) override;
  std::streamsize showmanyc() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  static constexpr size_t kSkipChunk = 16384;

  bool copying() const { return hashing_ || tee_ != nullptr; }
  // Takes up to count bytes from the source. Bytes read again after a
  // put-back are passed over; the others go to the tee and, when feedDigest
  // and hashing, to the running digest. Does not change remaining.
  size_t rawRead(char* buffer, size_t count, bool feedDigest = true);
  // Reads and discards count bytes; returns how many arrived.
  uint64_t skipByReading(uint64_t count);
  bool skipRestOfPart();
  void consumed(const char* bytes, size_t count, bool feedDigest);
  void copyToTee(const char* bytes, size_t count);
  void finaliseDigest();

  std::streambuf* source_;
  std::streambuf* tee_;
  bool teeFailed_ = false;
  uint32_t partStart_ = 0;
  uint32_t partLength_ = 0;
  uint32_t remaining_ = 0;
  uint32_t noHashCount_ = 0;

  // Made only while hashing: a reader that merely walks a file (the
  // database's images) sets up no digest context.
  std::unique_ptr<SHA1> sha1_;
  std::unique_ptr<SHA256> sha256_;
  Hash* running_ = nullptr;
  bool hashing_;
  bool digestReady_ = false;
  uint8_t digest_[32] = {};

  char scratch_[kSkipChunk];
};

// An input stream over one package file. Reads, seekg and tellg act on the
// data of the current part and never leave it; nextPart moves on.
class PackageReader : public std::istream {
 public:
  // Reads the file header at once; a missing or unknown magic leaves the
  // stream bad. The source stream is not owned; tee may be null.
  PackageReader(std::istream& source, bool hashing, std::streambuf* tee);
  // The same over a stream buffer, not owned either.
  PackageReader(std::streambuf* source, bool hashing, std::streambuf* tee);
  ~PackageReader() override;
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Advances to the next part whose type is wanted and returns that type,
  // or -1 at the end or on error (the stream is then failed).
  int nextPart();

  int currentType() const { return currentType_; }
  uint32_t partLength() const { return buffer_->partLength(); }
  // Offset in the file of the current part's data.
  uint32_t partStart() const { return buffer_->partStart(); }
  // The header's length plus 8.
  uint32_t totalSize() const { return totalSize_; }
  uint32_t magic() const { return magic_; }
  bool isUntracked() const { return magic_ == PACKAGE_MAGIC_UNTRACKED; }
  int verifySignature() { return buffer_->verifySignature(); }
  bool digestReady() const { return buffer_->digestReady(); }
  const uint8_t* digest() const { return buffer_->digest(); }
  bool teeFailed() const { return buffer_->teeFailed(); }

  // The part types at which nextPart stops.
  std::vector<uint32_t> wantedTypes;

 private:
  bool wanted(int type) const;

  PartStreamBuf* buffer_;  // owned
  int currentType_ = -1;
  uint32_t magic_ = PACKAGE_MAGIC_NONE;
  uint32_t totalSize_ = 0;
};
