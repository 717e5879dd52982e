#include "files_payload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "pkgfile/file_entry.h"

namespace {

constexpr size_t kChunk = 65536;

// Compresses what it is fed into the writer's open part.
class Deflater {
 public:
  explicit Deflater(PackageWriter& writer) : writer_(writer) {
    memset(&stream_, 0, sizeof stream_);
    ready_ = deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK;
  }
  ~Deflater() {
    if (ready_) deflateEnd(&stream_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool feed(const void* data, size_t count) { return run(data, count, Z_NO_FLUSH); }
  bool finish() { return run(nullptr, 0, Z_FINISH); }
  // Why feed or finish failed.
  std::string failure() const {
    return writer_.error().empty() ? "compression failed" : writer_.error();
  }

 private:
  bool run(const void* data, size_t count, int flush) {
    if (!ready_) return false;
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_.avail_in = uInt(count);
    for (;;) {
      stream_.next_out = output_;
      stream_.avail_out = sizeof output_;
      const int result = deflate(&stream_, flush);
      if (result == Z_STREAM_ERROR) return false;
      const size_t produced = sizeof output_ - stream_.avail_out;
      if (produced > 0 && !writer_.write(output_, produced)) return false;
      // Without flushing, room left over means that all input was taken.
      if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_out != 0) return true;
    }
  }

  PackageWriter& writer_;
  z_stream stream_;
  bool ready_ = false;
  Bytef output_[kChunk];
};

// Streams the file's bytes, which must still be as many as listed.
bool feedFile(const TreeEntry& entry, Deflater& deflater, std::vector<char>& buffer,
              std::string& error) {
  const int fd = open(entry.hostPath.c_str(), O_RDONLY);
  if (fd < 0) {
    error = entry.hostPath + ": " + strerror(errno);
    return false;
  }
  uint64_t total = 0;
  std::string problem;
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) problem = entry.hostPath + ": " + strerror(errno);
    if (got <= 0) break;
    total += uint64_t(got);
    if (total > entry.size) break;
    if (!deflater.feed(buffer.data(), size_t(got))) {
      problem = deflater.failure();
      break;
    }
  }
  close(fd);
  if (problem.empty() && total != entry.size)
    problem = entry.hostPath + ": changed while it was read";
  if (problem.empty()) return true;
  error = problem;
  return false;
}

bool feedEntry(const TreeEntry& entry, Deflater& deflater, std::vector<char>& buffer,
               std::string& error) {
  std::string header;
  if (!fileEntryHeader(entry, header, error)) return false;
  if (!deflater.feed(header.data(), header.size())) {
    error = deflater.failure();
    return false;
  }
  if (S_ISREG(entry.mode)) return feedFile(entry, deflater, buffer, error);
  if (!deflater.feed(entry.linkTarget.data(), entry.linkTarget.size())) {
    error = deflater.failure();
    return false;
  }
  return true;
}

}  // namespace

bool fileEntryHeader(const TreeEntry& entry, std::string& header, std::string& error) {
  if (entry.size > 0xFFFFFFFFu) {
    error = entry.hostPath + ": files of 4 GiB or more cannot be packed";
    return false;
  }
  if (entry.name.size() > 0xFFFF) {
    error = entry.hostPath + ": name too long";
    return false;
  }
  FileEntryHeader fields;
  fields.mode = entry.mode;
  fields.hardwareKind = entry.hardwareKind;
  fields.size = uint32_t(entry.size);
  fields.nameLength = uint16_t(entry.name.size());
  uint8_t bytes[FILE_ENTRY_HEADER_SIZE];
  encodeFileEntryHeader(fields, bytes);
  header.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
  header += entry.name;
  return true;
}

bool writeFilesPayload(const std::vector<TreeEntry>& entries, PackageWriter& writer,
                       std::string& error) {
  Deflater deflater(writer);
  std::vector<char> buffer(kChunk);
  for (const TreeEntry& entry : entries)
    if (!feedEntry(entry, deflater, buffer, error)) return false;
  if (!deflater.finish()) {
    error = deflater.failure();
    return false;
  }
  return true;
}
