// limit_install PACKAGE DESTDIR: the least work an install of a package file
// can do, the bound that scripts/bench measures the installer against. One
// process, one pass over the file: its SHA-1 digest (libcrypto), the Files
// part's zlib stream inflated (zlib) and every regular file of the payload
// written below DESTDIR with open/write/close. No signature check, no
// staging, no manifest, no database, no durability.
//
// Prints the digest and the number of files written; exits 0 on success,
// 1 on a read, format or write failure, 2 on wrong usage.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pkgfile/file_entry.h"
#include "pkgfile/little_endian.h"
#include "pkgfile/package_reader.h"
#include "pkgfile/part_type.h"

namespace {

constexpr size_t kReadChunk = size_t(1) << 20;
constexpr size_t kInflateChunk = size_t(256) << 10;
constexpr size_t kFileHeaderSize = 8;  // magic, length
constexpr size_t kPartHeaderSize = 6;  // type, length

// A fixed number of bytes that may arrive split over several pieces.
template <size_t N>
struct Gather {
  uint8_t bytes[N];
  size_t have = 0;

  // Takes what is still missing from the piece; returns the bytes taken.
  size_t take(const uint8_t* data, size_t count) {
    const size_t used = count < N - have ? count : N - have;
    memcpy(bytes + have, data, used);
    have += used;
    return used;
  }
  bool full() const { return have == N; }
};

bool writeAll(int fd, const uint8_t* data, size_t count) {
  while (count > 0) {
    const ssize_t done = write(fd, data, count);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    count -= size_t(done);
  }
  return true;
}

// Hands the bytes to the consumer's step until all are taken or it fails.
template <typename Consumer>
bool feedInSteps(Consumer& consumer, const uint8_t* data, size_t count) {
  while (count > 0) {
    const size_t used = consumer.step(data, count);
    if (consumer.failed_) return false;
    data += used;
    count -= used;
  }
  return true;
}

// Writes the entries of the inflated payload as their bytes come.
class EntryWriter {
 public:
  explicit EntryWriter(std::string destination) : destination_(std::move(destination)) {}

  template <typename Consumer>
  friend bool feedInSteps(Consumer&, const uint8_t*, size_t);

  bool feed(const uint8_t* data, size_t count) { return feedInSteps(*this, data, count); }

  // Whether the payload ended between two entries.
  bool betweenEntries() const { return state_ == State::Header && header_.have == 0; }
  size_t files() const { return files_; }

 private:
  enum class State { Header, Name, Data };

  size_t step(const uint8_t* data, size_t count) {
    switch (state_) {
      case State::Header: return takeHeader(data, count);
      case State::Name: return takeName(data, count);
      case State::Data: return takeData(data, count);
    }
    return count;
  }

  size_t takeHeader(const uint8_t* data, size_t count) {
    const size_t used = header_.take(data, count);
    if (!header_.full()) return used;
    entry_ = decodeFileEntryHeader(header_.bytes);
    header_.have = 0;
    name_.clear();
    state_ = State::Name;
    if (entry_.nameLength == 0) failed_ = true;
    return used;
  }

  size_t takeName(const uint8_t* data, size_t count) {
    const size_t used = std::min(count, size_t(entry_.nameLength) - name_.size());
    name_.append(reinterpret_cast<const char*>(data), used);
    if (name_.size() == entry_.nameLength) startData();
    return used;
  }

  void startData() {
    left_ = entry_.size;
    fd_ = -1;
    if (entry_.isRegularFile() && entry_.hardwareKind == 0) openTarget();
    state_ = State::Data;
    if (left_ == 0) endData();
  }

  size_t takeData(const uint8_t* data, size_t count) {
    const size_t used = count < left_ ? count : size_t(left_);
    if (fd_ >= 0 && !writeAll(fd_, data, used)) failed_ = true;
    left_ -= used;
    if (left_ == 0) endData();
    return used;
  }

  void openTarget() {
    const std::string target = destination_ + "/" + name_;
    if (!makeParents(target)) {
      failed_ = true;
      return;
    }
    fd_ = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, entry_.mode & 07777);
    if (fd_ < 0) failed_ = true;
  }

  void endData() {
    if (fd_ >= 0) {
      if (close(fd_) != 0) failed_ = true;
      ++files_;
    }
    fd_ = -1;
    state_ = State::Header;
  }

  // Makes the directories above the target once each.
  bool makeParents(const std::string& target) {
    for (size_t slash = target.find('/', destination_.size() + 1); slash != std::string::npos;
         slash = target.find('/', slash + 1)) {
      const std::string directory = target.substr(0, slash);
      if (made_.count(directory)) continue;
      if (mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) return false;
      made_.insert(directory);
    }
    return true;
  }

  const std::string destination_;
  std::set<std::string> made_;
  State state_ = State::Header;
  Gather<FILE_ENTRY_HEADER_SIZE> header_;
  FileEntryHeader entry_;
  std::string name_;
  uint64_t left_ = 0;
  int fd_ = -1;
  size_t files_ = 0;
  bool failed_ = false;
};

// Inflates the Files part's zlib stream into the entry writer.
class PayloadInflater {
 public:
  explicit PayloadInflater(EntryWriter& writer) : writer_(writer), output_(kInflateChunk) {
    memset(&stream_, 0, sizeof stream_);
    ready_ = inflateInit(&stream_) == Z_OK;
  }
  ~PayloadInflater() {
    if (ready_) inflateEnd(&stream_);
  }
  PayloadInflater(const PayloadInflater&) = delete;
  PayloadInflater& operator=(const PayloadInflater&) = delete;

  bool feed(const uint8_t* data, size_t count) {
    if (!ready_) return false;
    if (ended_) return count == 0;
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = uInt(count);
    while (stream_.avail_in > 0 && !ended_) {
      stream_.next_out = output_.data();
      stream_.avail_out = uInt(output_.size());
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END) return false;
      ended_ = result == Z_STREAM_END;
      if (!writer_.feed(output_.data(), output_.size() - stream_.avail_out)) return false;
    }
    // A stream that ends before its part does leaves bytes over.
    return stream_.avail_in == 0;
  }

  bool ended() const { return ended_; }

 private:
  EntryWriter& writer_;
  std::vector<uint8_t> output_;
  z_stream stream_;
  bool ready_ = false;
  bool ended_ = false;
};

// Splits the package file into its parts and hands the Files part to the
// inflater; the other parts are passed over.
class PartSplitter {
 public:
  explicit PartSplitter(PayloadInflater& inflater) : inflater_(inflater) {}

  template <typename Consumer>
  friend bool feedInSteps(Consumer&, const uint8_t*, size_t);

  bool feed(const uint8_t* data, size_t count) { return feedInSteps(*this, data, count); }

  // Whether the file ended between two parts.
  bool betweenParts() const { return fileHeader_.full() && partHeader_.have == 0 && left_ == 0; }

 private:
  size_t step(const uint8_t* data, size_t count) {
    if (!fileHeader_.full()) return takeFileHeader(data, count);
    if (left_ == 0) return takePartHeader(data, count);
    return takePart(data, count);
  }

  size_t takeFileHeader(const uint8_t* data, size_t count) {
    const size_t used = fileHeader_.take(data, count);
    if (fileHeader_.full()) {
      const uint32_t magic = readLe32(fileHeader_.bytes);
      failed_ = magic != PACKAGE_MAGIC && magic != PACKAGE_MAGIC_UNTRACKED;
    }
    return used;
  }

  size_t takePartHeader(const uint8_t* data, size_t count) {
    const size_t used = partHeader_.take(data, count);
    if (partHeader_.full()) {
      type_ = readLe16(partHeader_.bytes);
      left_ = readLe32(partHeader_.bytes + 2);
      partHeader_.have = 0;
    }
    return used;
  }

  size_t takePart(const uint8_t* data, size_t count) {
    const size_t used = count < left_ ? count : size_t(left_);
    if (type_ == Files && !inflater_.feed(data, used)) failed_ = true;
    left_ -= used;
    return used;
  }

  PayloadInflater& inflater_;
  Gather<kFileHeaderSize> fileHeader_;
  Gather<kPartHeaderSize> partHeader_;
  int type_ = 0;
  uint64_t left_ = 0;
  bool failed_ = false;
};

int fail(const char* what, const char* path) {
  fprintf(stderr, "limit_install: %s: %s\n", path, what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: limit_install PACKAGE DESTDIR\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(strerror(errno), argv[1]);

  EntryWriter writer(argv[2]);
  PayloadInflater inflater(writer);
  PartSplitter splitter(inflater);
  EVP_MD_CTX* digest = EVP_MD_CTX_new();
  if (digest == nullptr || EVP_DigestInit_ex(digest, EVP_sha1(), nullptr) != 1)
    return fail("no SHA-1", argv[1]);

  std::vector<uint8_t> chunk(kReadChunk);
  for (;;) {
    const ssize_t got = read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(strerror(errno), argv[1]);
    if (got == 0) break;
    EVP_DigestUpdate(digest, chunk.data(), size_t(got));
    if (!splitter.feed(chunk.data(), size_t(got))) return fail("unreadable or unwritable payload", argv[1]);
  }
  close(fd);
  if (!splitter.betweenParts() || !inflater.ended() || !writer.betweenEntries())
    return fail("cut short", argv[1]);

  unsigned char sha1[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(digest, sha1, &length);
  EVP_MD_CTX_free(digest);
  for (unsigned int i = 0; i < length; ++i) printf("%02x", sha1[i]);
  printf(" %zu files\n", writer.files());
  return 0;
}
