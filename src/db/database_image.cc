#include "db/database_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pkg/console.h"
#include "pkg/paths.h"
#include "pkgfile/file_source.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"
#include "pkgfile/part_type.h"
#include "platform/root_path.h"

namespace {

constexpr size_t kDatabaseDirLength = sizeof PATH_DATABASE_DIR - 1;

// The database directory while a DatabaseDirectoryHold lives, else -1.
int databaseDirectory = -1;
// The directory of the device root while a DeviceRootHold lives, else -1.
int deviceRoot = -1;

// A record keeps what was read of it before a later part of its metadata
// failed; only a header that cannot be read leaves it unnamed.
void loadBundle(PackageDb& db, PackageReader& reader) {
  InstalledPackage* bundle = new InstalledPackage("");
  readPackageInfo(*bundle, reader);
  if (bundle->name.empty()) {
    // Nothing names it: the final scan of the database directory loads the
    // entry from its meta files.
    delete bundle;
    return;
  }
  while (reader.currentType() == PackageHeader) {
    InstalledPackage* member = new InstalledPackage("");
    readPackageInfo(*member, reader);
    if (member->name.empty()) {
      // The reader stays on this header: there is no next member to go to.
      delete member;
      break;
    }
    member->bundle = DependencyEntry{bundle->name, bundle->version, bundle->version, 0};
    db.packages.push_back(member);
    // A member whose relations are cut short leaves the reader on that list,
    // which ends the loop.
  }
  db.packages.push_back(bundle);
}

void loadSingle(PackageDb& db, PackageReader& reader, const std::string& entryName) {
  // When the header cannot be read the record keeps the entry's name and
  // version 0, and is loaded from its meta files instead.
  InstalledPackage* package = new InstalledPackage(entryName);
  readPackageInfo(*package, reader);
  db.packages.push_back(package);
}

}  // namespace

DatabaseDirectoryHold::DatabaseDirectoryHold() {
  // Below a device root every path is resolved from the root.
  if (deviceRoot < 0) databaseDirectory = open(PATH_DATABASE_DIR, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

DatabaseDirectoryHold::~DatabaseDirectoryHold() {
  if (databaseDirectory >= 0) close(databaseDirectory);
  databaseDirectory = -1;
}

namespace {

// The directory to open a path relative to, and the path relative to it.
int directoryFor(const std::string& path, const char*& relative) {
  // A path that goes on with another slash would be absolute for openat.
  if (databaseDirectory >= 0 && path.size() > kDatabaseDirLength &&
      path.compare(0, kDatabaseDirLength, PATH_DATABASE_DIR) == 0 && path[kDatabaseDirLength] != '/') {
    relative = path.c_str() + kDatabaseDirLength;
    return databaseDirectory;
  }
  relative = path.c_str();
  return AT_FDCWD;
}

}  // namespace

DeviceRootHold::DeviceRootHold(int root) { deviceRoot = root; }

DeviceRootHold::~DeviceRootHold() { deviceRoot = -1; }

// Below a device root the last component is opened without following a
// link: one put there after it was resolved is not followed either.
int openDatabaseFile(const std::string& path, FileState& state) {
  if (deviceRoot >= 0) {
    std::string last;
    const int holder = resolveInRoot(deviceRoot, path, last);
    state = FileState::Unopened;
    if (holder < 0) return -1;
    const int fd = openRegularFile(holder, last.c_str(), state, O_NOFOLLOW);
    close(holder);
    return fd;
  }
  const char* relative;
  const int dir = directoryFor(path, relative);
  return openRegularFile(dir, relative, state);
}

FileState readDatabaseFile(const std::string& path, size_t limit, std::string& content) {
  if (deviceRoot >= 0) {
    std::string last;
    const int holder = resolveInRoot(deviceRoot, path, last);
    content.clear();
    if (holder < 0) return FileState::Unopened;
    const FileState state = readRegularFile(holder, last.c_str(), limit, content, O_NOFOLLOW);
    close(holder);
    return state;
  }
  const char* relative;
  const int dir = directoryFor(path, relative);
  return readRegularFile(dir, relative, limit, content);
}

DIR* openDatabaseDirectory(const char* path) {
  if (deviceRoot < 0) return opendir(path);
  const int fd = openDirectoryInRoot(deviceRoot, path);
  if (fd < 0) return nullptr;
  DIR* dir = fdopendir(fd);
  if (!dir) close(fd);
  return dir;
}

bool databasePathExists(const std::string& path) {
  struct stat st;
  if (deviceRoot < 0) return stat(path.c_str(), &st) == 0;
  std::string last;
  const int holder = resolveInRoot(deviceRoot, path, last);
  if (holder < 0) return false;
  const bool exists = fstatat(holder, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  close(holder);
  return exists;
}

void loadImageRecords(PackageDb& db, const std::string& path, const std::string& entryName) {
  FileState state;
  FileSource file(openDatabaseFile(path, state));
  if (state == FileState::NotRegular)
    printWarning(db, "%s %s", printable(path).c_str(), unreadReason(state, 0).c_str());
  if (!file.isOpen()) return;
  PackageReader reader(&file, false, nullptr);
  // Walked for its metadata only: without hashing or a tee the reader seeks
  // past the payload, so a large image costs little.
  reader.wantedTypes = PARTS_STORED_IMAGE;
  reader.nextPart();
  if (reader.currentType() == BundleHeader)
    loadBundle(db, reader);
  else
    loadSingle(db, reader, entryName);
}
