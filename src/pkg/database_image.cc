#include "pkg/database_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <streambuf>

#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"

namespace {

const char kDatabaseDir[] = "/flash/var/pdb/";
constexpr size_t kDatabaseDirLength = sizeof kDatabaseDir - 1;

// The database directory while a DatabaseDirectoryHold lives, else -1.
int databaseDirectory = -1;

// A stored image is walked for its metadata only: without hashing or a tee
// the reader seeks past the payload, so a large image costs little.
const std::vector<uint32_t> kImageTypes = {BundleHeader, PackageHeader, Text24, Note,
                                           Dependencies, Provides, Conflicts};

// An image opened for reading its metadata. Reads go through pread at the
// stream's position, so passing over a payload only moves the position and
// costs no system call. A read that returns fewer bytes than asked marks
// the end of the file, as it does for regular files: a small image is read
// with one call. Seeks behave as on a file: past the end is allowed, and
// reads there find nothing.
class ImageBuf : public std::streambuf {
 public:
  ImageBuf() = default;
  ~ImageBuf() override {
    if (fd_ >= 0) close(fd_);
  }
  ImageBuf(const ImageBuf&) = delete;
  ImageBuf& operator=(const ImageBuf&) = delete;

  bool open(const std::string& path) {
    fd_ = openDatabaseFile(path);
    return fd_ >= 0;
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const off_type at = position();
    if (ended_ && at >= end_) return traits_type::eof();
    ssize_t got;
    do got = pread(fd_, buffer_, sizeof buffer_, at);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
      setStart(at, 0);
      return traits_type::eof();
    }
    if (size_t(got) < sizeof buffer_) {
      ended_ = true;
      end_ = at + got;
    }
    setStart(at, size_t(got));
    return traits_type::to_int_type(*gptr());
  }

  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode) override {
    off_type base = 0;
    if (direction == std::ios_base::cur) {
      base = position();
    } else if (direction == std::ios_base::end) {
      struct stat status;
      if (fstat(fd_, &status) != 0) return pos_type(off_type(-1));
      base = status.st_size;
    }
    const off_type target = base + offset;
    if (target < 0) return pos_type(off_type(-1));
    if (target >= start_ && target <= start_ + (egptr() - eback()))
      setg(eback(), eback() + (target - start_), egptr());
    else
      setStart(target, 0);
    return pos_type(target);
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }

 private:
  off_type position() const { return start_ + (gptr() - eback()); }
  void setStart(off_type at, size_t count) {
    start_ = at;
    setg(buffer_, buffer_, buffer_ + count);
  }

  int fd_ = -1;
  off_type start_ = 0;  // the file offset of buffer_[0]
  bool ended_ = false;  // a short read found the end, at end_
  off_type end_ = 0;
  char buffer_[8192];
};

void loadBundle(PackageDb& db, PackageReader& reader, const std::string& entryName) {
  InstalledPackage* bundle = new InstalledPackage("");
  if (!readPackageInfo(*bundle, reader)) {
    delete bundle;
    db.packages.push_back(new InstalledPackage(entryName));
    return;
  }
  while (reader.currentType() == PackageHeader) {
    InstalledPackage* member = new InstalledPackage("");
    if (!readPackageInfo(*member, reader)) {
      delete member;
      break;
    }
    member->bundle = DependencyEntry{bundle->name, bundle->version, bundle->version, 0};
    db.packages.push_back(member);
  }
  db.packages.push_back(bundle);
}

void loadSingle(PackageDb& db, PackageReader& reader, const std::string& entryName) {
  InstalledPackage* package = new InstalledPackage(entryName);
  if (!readPackageInfo(*package, reader)) {
    // Loaded from its meta files instead, under the entry's name.
    delete package;
    package = new InstalledPackage(entryName);
  }
  db.packages.push_back(package);
}

}  // namespace

DatabaseDirectoryHold::DatabaseDirectoryHold() {
  databaseDirectory = open(kDatabaseDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

DatabaseDirectoryHold::~DatabaseDirectoryHold() {
  if (databaseDirectory >= 0) close(databaseDirectory);
  databaseDirectory = -1;
}

int openDatabaseFile(const std::string& path) {
  // A path that goes on with another slash would be absolute for openat.
  if (databaseDirectory >= 0 && path.size() > kDatabaseDirLength &&
      path.compare(0, kDatabaseDirLength, kDatabaseDir) == 0 && path[kDatabaseDirLength] != '/')
    return openat(databaseDirectory, path.c_str() + kDatabaseDirLength, O_RDONLY | O_CLOEXEC);
  return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

void loadImageRecords(PackageDb& db, const std::string& path, const std::string& entryName) {
  ImageBuf file;
  if (!file.open(path)) return;
  PackageReader reader(&file, false, nullptr);
  reader.wantedTypes = kImageTypes;
  reader.nextPart();
  if (reader.currentType() == BundleHeader)
    loadBundle(db, reader, entryName);
  else
    loadSingle(db, reader, entryName);
}
