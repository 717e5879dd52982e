#include "db/database.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <memory>
#include <unordered_set>

#include "changes/manifest.h"
#include "db/database_image.h"
#include "pkg/console.h"
#include "pkg/paths.h"
#include "platform/guarded_path.h"
#include "platform/regular_file.h"

namespace {

const uint32_t kAllOnes = 0xFFFFFFFF;

// Parses an unsigned decimal that fits 32 bits, leading zeros allowed;
// nothing else is accepted.
bool parseUnsigned(const std::string& word, uint32_t& value) {
  if (word.empty()) return false;
  uint64_t number = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > kAllOnes) return false;
  }
  value = static_cast<uint32_t>(number);
  return true;
}

bool parseSigned(const std::string& word, int32_t& value) {
  const bool negative = !word.empty() && word[0] == '-';
  uint32_t magnitude = 0;
  if (!parseUnsigned(negative ? word.substr(1) : word, magnitude)) return false;
  if (negative ? magnitude > 0x80000000u : magnitude > 0x7FFFFFFFu) return false;
  value = negative ? static_cast<int32_t>(0u - magnitude) : static_cast<int32_t>(magnitude);
  return true;
}

// The database is read at every start, a few small files per package: they
// are read with plain system calls, which cost less than a stream per file.
// Each is read as what may lie there after a fault or by a person's hand:
// only a regular file, of at most the limit's bytes; anything else
// there is said with a WARNING naming it, and counts as unreadable.
FileState readText(PackageDb& db, const std::string& path, std::string& content,
                   size_t limit = TEXT_FILE_LIMIT) {
  const FileState state = readDatabaseFile(path, limit, content);
  if (state == FileState::NotRegular || state == FileState::TooLarge)
    printWarning(db, "%s %s", printable(path).c_str(), unreadReason(state, limit).c_str());
  return state;
}

// Whether something is there, as a mark is: opened, or there but no file
// to read.
bool isPresent(const std::string& path) {
  FileState state;
  const int fd = openDatabaseFile(path, state);
  if (fd >= 0) close(fd);
  return state != FileState::Unopened;
}

// The words of a text, taken as `stream >> word` takes them in the "C"
// locale: runs of bytes between white space.
class Words {
 public:
  explicit Words(const std::string& text) : text_(text) {}
  // False, leaving word as it was, when no word is left.
  bool next(std::string& word) {
    while (at_ < text_.size() && isSpace(text_[at_])) ++at_;
    if (at_ == text_.size()) return false;
    const size_t start = at_;
    while (at_ < text_.size() && !isSpace(text_[at_])) ++at_;
    word.assign(text_, start, at_ - start);
    return true;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

  const std::string& text_;
  size_t at_ = 0;
};

bool readUnsigned(Words& in, uint32_t& value) {
  std::string word;
  return in.next(word) && parseUnsigned(word, value);
}

// Reads groups of name, min, max (and extra) until the file ends where a
// name is due; a file that is not there is an empty list. False when a group
// is cut short or holds garbage (the entries read before it stay), or when
// something other than a readable list lies there.
bool readDependencyList(PackageDb& db, const std::string& path, std::vector<DependencyEntry>& list,
                        bool withExtra) {
  std::string text;
  const FileState state = readText(db, path, text);
  if (state != FileState::Opened) return state == FileState::Unopened;
  Words in(text);
  std::string name;
  while (in.next(name)) {
    DependencyEntry entry;
    entry.name = name;
    if (!readUnsigned(in, entry.min) || !readUnsigned(in, entry.max)) return false;
    if (withExtra) {
      std::string word;
      if (!in.next(word) || !parseSigned(word, entry.extra)) return false;
    }
    list.push_back(entry);
  }
  return true;
}

// The first word of a file; the state of its reading.
FileState readWord(PackageDb& db, const std::string& path, std::string& word, bool& found) {
  std::string text;
  const FileState state = readText(db, path, text);
  Words in(text);
  found = state == FileState::Opened && in.next(word);
  return state;
}

// One path a line; empty lines are skipped, and so are lines of slashes
// alone, which name the flash itself and no file (a save would write them
// back as empty lines).
void addFileList(const std::string& text, std::set<std::string>& files) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const size_t name = text.find_first_not_of('/', start);
    if (name != std::string::npos && name < end) {
      if (text[start] == '/')
        files.insert(text.substr(start, end - start));
      else
        files.insert("/" + text.substr(start, end - start));
    }
    start = end + 1;
  }
}

void readFileList(PackageDb& db, const std::string& path, std::set<std::string>& files) {
  std::string text;
  if (readText(db, path, text, FILES_LIST_LIMIT) == FileState::Opened) addFileList(text, files);
}

// Fields that only the meta files hold when the record was not filled from
// an image. False when the entry is damaged: a meta file could not be read
// as what it should hold. The record is then to be uninstalled.
bool loadMetaFiles(PackageDb& db, InstalledPackage& package, const std::string& dir) {
  bool whole = true;
  {
    std::string text;
    readText(db, dir + "version", text);
    Words in(text);
    whole = readUnsigned(in, package.version) && readUnsigned(in, package.buildTime);
  }
  // Every list is read, also after one of them has failed.
  const bool depsRead = readDependencyList(db, dir + "deps", package.deps, false);
  const bool providesRead = readDependencyList(db, dir + "provides", package.provides, true);
  const bool conflictsRead = readDependencyList(db, dir + "conflicts", package.conflicts, false);
  whole = whole && depsRead && providesRead && conflictsRead;
  // A member whose bundle's image is gone goes with its bundle.
  std::string bundleName;
  bool named = false;
  const FileState bundleState = readWord(db, dir + "bundle", bundleName, named);
  if (named) {
    package.bundle = DependencyEntry{bundleName, 0, 0, 0};
    package.scheduled = SCHEDULE_UNINSTALL;
  }
  whole = whole && (bundleState == FileState::Opened || bundleState == FileState::Unopened);
  // A list that opens exists; one that does not open may still exist (and
  // then lists nothing).
  std::string list;
  const FileState listState = readText(db, dir + "files", list, FILES_LIST_LIMIT);
  if (listState == FileState::Opened) {
    package.isBundle = false;
    addFileList(list, package.files);
  } else {
    package.isBundle = listState == FileState::Unopened && !databasePathExists(dir + "files");
    whole = whole && listState == FileState::Unopened;
  }
  if (!whole) package.scheduled = SCHEDULE_UNINSTALL;
  return whole;
}

// A mark is there or not; what the disabled mark says is read only from a
// regular file.
void loadMarks(PackageDb& db, InstalledPackage& package, const std::string& dir) {
  package.userForced = false;
  std::string mark;
  if (readText(db, dir + "disabled", mark) != FileState::Unopened) {
    package.disabled = true;
    package.userForced = mark.substr(0, mark.find('\n')) != "auto";
  } else {
    package.disabled = false;
    package.userForced = isPresent(dir + "enabled");
  }
}

// The names in a directory, listed once, so that paths below it that cannot
// exist need not be tried one by one. A directory that cannot be listed for
// another reason than its absence may hold any name.
class DirectoryNames {
 public:
  explicit DirectoryNames(const char* path) {
    DIR* dir = openDatabaseDirectory(path);
    if (!dir) {
      listed_ = errno == ENOENT || errno == ENOTDIR;
      return;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir)) names_.insert(entry->d_name);
    listed_ = errno == 0;
    closedir(dir);
  }

  bool mayHold(const std::string& name) const { return !listed_ || names_.count(name) != 0; }

 private:
  bool listed_ = false;
  std::unordered_set<std::string> names_;
};

// scheduleBase is the directory of the schedule directories (/ram/pdb/);
// scheduleDirs, when given, lists it.
void loadSchedule(PackageDb& db, InstalledPackage& package, const std::string& scheduleBase,
                  const DirectoryNames* scheduleDirs) {
  const std::string dirName = sanitisedName(package.name);
  // An empty name makes the path /ram/pdb//schedule, which is always tried.
  if (scheduleDirs && !dirName.empty() && !scheduleDirs->mayHold(dirName)) return;
  std::string word;
  bool found = false;
  readWord(db, scheduleBase + dirName + "/schedule", word, found);
  if (!found) return;
  if (word == "uninstall") {
    package.scheduled = SCHEDULE_UNINSTALL;
  } else if (word == "enable") {
    package.scheduled = SCHEDULE_ENABLE;
    package.userForced = true;
  } else if (word == "disable") {
    package.scheduled = SCHEDULE_DISABLE;
    package.userForced = true;
  }
}

// dir is the package's entry directory, with its final "/".
void loadPackageWith(PackageDb& db, InstalledPackage& package, const std::string& dir,
                     const std::string& scheduleBase, const DirectoryNames* scheduleDirs) {
  // An uninstall is never done without a word: the silent request pass
  // removes a damaged entry, so it is said here.
  if (package.version == 0) {
    if (!loadMetaFiles(db, package, dir))
      printWarning(db, "damaged database entry %s", printable(package.name).c_str());
  } else if (!package.isBundle) {
    // A record filled from a stored image (a bundle's member, an image
    // package) still owns the files it unpacked: without their list they
    // would stay behind when it is replaced or removed.
    readFileList(db, dir + "files", package.files);
  }
  loadMarks(db, package, dir);
  if (package.version == kAllOnes && package.buildTime == kAllOnes) return;
  loadSchedule(db, package, scheduleBase, scheduleDirs);
}

// The fields of the package listing, read as loadPackageWith reads them,
// and the file list with withFiles. Nothing is uninstalled by a listing: a
// damaged entry shows as it reads.
void loadListedFields(PackageDb& db, InstalledPackage& package, const std::string& dir, bool withFiles) {
  if (package.version == 0) {
    std::string text;
    readText(db, dir + "version", text);
    Words in(text);
    if (readUnsigned(in, package.version)) readUnsigned(in, package.buildTime);
    std::string bundleName;
    bool named = false;
    readWord(db, dir + "bundle", bundleName, named);
    if (named) package.bundle = DependencyEntry{bundleName, 0, 0, 0};
  }
  if (withFiles && !package.isBundle) readFileList(db, dir + "files", package.files);
  package.disabled = isPresent(dir + "disabled");
}

// Only a directory is a package's entry: a file directly in the database
// directory (a staged file that a cut run left there) is none.
bool isDirectoryEntry(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat st;
  return fstatat(dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// The names of the database directory's entries, hidden ones left out.
std::vector<std::string> databaseEntries(DIR* dir) {
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.' && isDirectoryEntry(dir, *entry)) names.push_back(entry->d_name);
  return names;
}

void stageMark(Manifest& manifest, const std::string& path, const char* word) {
  StagedFile mark = createStagedFile(manifest, path, 8, 0);
  mark << word << '\n';
}

void writeRelations(std::ostream& out, const std::vector<DependencyEntry>& list, bool withExtra) {
  for (const DependencyEntry& entry : list) {
    out << entry.name << ' ' << entry.min << ' ' << entry.max;
    if (withExtra) out << ' ' << entry.extra;
    out << '\n';
  }
}

// The meta files of a package's database directory, in the order they are
// written. An install saves into the directory of the version it replaces:
// a list the new version lacks must not stay behind from the old one.
struct MetaFile {
  const char* name;
  const char* label;  // how a failed write names it
  uint32_t sizeHint;
  bool keptForImages;
  // Whether the package has anything to write into it; when it has not, the
  // file is left as it is, or removed when removedWhenAbsent.
  bool (*present)(const InstalledPackage& package);
  bool removedWhenAbsent;
  void (*write)(std::ostream& out, const InstalledPackage& package);
};

bool always(const InstalledPackage&) { return true; }

const MetaFile kMetaFiles[] = {
    {"version", "meta/version", 32, false, always, false,
     [](std::ostream& out, const InstalledPackage& package) {
       out << package.version << ' ' << package.buildTime << '\n';
     }},
    {"deps", "meta/deps", 1024, false, always, false,
     [](std::ostream& out, const InstalledPackage& package) {
       writeRelations(out, package.deps, false);
     }},
    {"provides", "meta/provides", 1024, false,
     [](const InstalledPackage& package) { return !package.provides.empty(); }, true,
     [](std::ostream& out, const InstalledPackage& package) {
       writeRelations(out, package.provides, true);
     }},
    {"conflicts", "meta/conflicts", 1024, false,
     [](const InstalledPackage& package) { return !package.conflicts.empty(); }, true,
     [](std::ostream& out, const InstalledPackage& package) {
       writeRelations(out, package.conflicts, false);
     }},
    {"bundle", "meta/bundle", 16, false,
     [](const InstalledPackage& package) { return !package.bundle.name.empty(); }, true,
     [](std::ostream& out, const InstalledPackage& package) { out << package.bundle.name << '\n'; }},
    // Paths are held with a leading "/" and written without it.
    {"files", "meta/files", 4096, true,
     [](const InstalledPackage& package) { return !package.isBundle; }, false,
     [](std::ostream& out, const InstalledPackage& package) {
       for (const std::string& path : package.files) {
         if (path.empty()) continue;
         out << (path[0] == '/' ? path.substr(1) : path) << '\n';
       }
     }},
};

// The version and build time that the entry's own directory holds: those of
// the record its own image gave (among the first ownImages records), else of
// its version file. False when it holds none.
bool ownVersion(PackageDb& db, const std::string& entry, size_t ownImages, Package& own) {
  for (size_t i = 0; i < ownImages; ++i) {
    if (db.packages[i]->name != entry) continue;
    own.version = db.packages[i]->version;
    own.buildTime = db.packages[i]->buildTime;
    return true;
  }
  std::string text;
  readText(db, std::string(PATH_DATABASE_DIR) + entry + "/version", text);
  Words in(text);
  return readUnsigned(in, own.version) && readUnsigned(in, own.buildTime);
}

// Loads the image kept for the entry in the second place. One whose
// package was replaced since (the entry's own directory holds another
// version) is not loaded: it would stand for the package installed there
// and have it installed again at every run. It is left for the run to
// remove.
void loadSecondImage(PackageDb& db, const std::string& entry, size_t ownImages) {
  const std::string path = std::string(PATH_IMAGES_DIR) + entry;
  const size_t before = db.packages.size();
  loadImageRecords(db, path, entry);
  if (db.packages.size() == before) return;
  const InstalledPackage& image = *db.packages.back();
  Package own("");
  if (image.name != entry || image.version == 0 || !ownVersion(db, entry, ownImages, own)) return;
  if (own.version == image.version && own.buildTime == image.buildTime) return;
  for (size_t i = before; i < db.packages.size(); ++i) delete db.packages[i];
  db.packages.resize(before);
  db.staleImages.push_back(path);
}

}  // namespace

void stageStaleImageRemovals(PackageDb& db, Manifest& manifest) {
  std::sort(db.staleImages.begin(), db.staleImages.end());
  for (const std::string& path : db.staleImages) {
    printWarning(db, "removing stale image %s", printable(path).c_str());
    stageRemove(manifest, path);
  }
}

std::string sanitisedName(const std::string& name) {
  std::string sanitised;
  for (unsigned char c : name)
    if ((c < 128 && isalnum(c)) || c == '-') sanitised += static_cast<char>(c);
  return sanitised;
}

void loadDatabase(PackageDb& db, bool quiet, const std::string& systemArch, DatabaseLoad load) {
  db.quiet = quiet;
  db.systemArch = systemArch;
  DIR* dir = openDatabaseDirectory(PATH_DATABASE_DIR);
  if (!dir) {
    printWarning(db, "could not open repo");
    return;
  }
  const std::vector<std::string> entries = databaseEntries(dir);
  closedir(dir);
  const DatabaseDirectoryHold hold;

  for (const std::string& entry : entries)
    loadImageRecords(db, std::string(PATH_DATABASE_DIR) + entry + "/image", entry);
  const size_t ownImages = db.packages.size();
  const DirectoryNames images(PATH_IMAGES_DIR);
  for (const std::string& entry : entries)
    if (images.mayHold(entry)) loadSecondImage(db, entry, ownImages);
  std::unique_ptr<DirectoryNames> scheduleDirs;
  if (load == DatabaseLoad::Full) scheduleDirs.reset(new DirectoryNames(PATH_SCHEDULE_DIR));
  auto fill = [&](InstalledPackage& package) {
    if (load == DatabaseLoad::Full)
      loadPackageWith(db, package, package.dbDir(), PATH_SCHEDULE_DIR, scheduleDirs.get());
    else
      loadListedFields(db, package, package.dbDir(), load == DatabaseLoad::Contents);
  };
  std::unordered_set<std::string> loaded;
  for (InstalledPackage* package : db.packages) {
    fill(*package);
    loaded.insert(package->name);
  }
  for (const std::string& entry : entries) {
    if (loaded.count(entry)) continue;
    InstalledPackage* package = new InstalledPackage(entry);
    fill(*package);
    db.packages.push_back(package);
    loaded.insert(entry);
  }
}

void loadPackage(InstalledPackage& package) {
  loadPackageWith(packageDb(), package, package.dbDir(), PATH_SCHEDULE_DIR, nullptr);
}

void loadPackageFrom(PackageDb& db, InstalledPackage& package, const std::string& dir,
                     const std::string& scheduleBase, DatabaseLoad load) {
  if (load == DatabaseLoad::Full)
    loadPackageWith(db, package, dir, scheduleBase, nullptr);
  else
    loadListedFields(db, package, dir, load == DatabaseLoad::Contents);
}

void loadDatabaseInRoot(PackageDb& db, int root, DatabaseLoad load) {
  const DeviceRootHold hold(root);
  loadDatabase(db, true, "", load);
}

InstallFailure savePackage(InstalledPackage& package, Manifest& manifest) {
  const std::string dir = package.dbDir();
  // An entry that is a link, or lies below one, would be written elsewhere.
  if (leadsThroughLink(dir)) return InstallFailure::brokenPackage();
  if (!(package.flags & PF_NO_META)) {
    for (const MetaFile& file : kMetaFiles) {
      // An image package is described by its image, but the files it
      // unpacked are listed all the same, so that they can be removed with it.
      if (package.isImage && !file.keptForImages) continue;
      if (!file.present(package)) {
        if (file.removedWhenAbsent) stageRemove(manifest, dir + file.name);
        continue;
      }
      StagedFile out = createStagedFile(manifest, dir + file.name, file.sizeHint, 0);
      file.write(out, package);
      if (!out.close()) return InstallFailure::writeFailed(file.label);
    }
  }
  if (package.disabled)
    stageMark(manifest, dir + "disabled", package.userForced ? "user" : "auto");
  else
    stageRemove(manifest, dir + "disabled");
  if (!package.disabled && package.userForced)
    stageMark(manifest, dir + "enabled", "user");
  else
    stageRemove(manifest, dir + "enabled");
  return InstallFailure();
}

InstallFailure saveIntoFreshDirectory(InstalledPackage& package, Manifest& manifest) {
  if (!reclaimDirectory(manifest, package.dbDir())) return InstallFailure::directoryTaken();
  return savePackage(package, manifest);
}

void markDisabled(InstalledPackage& package, Manifest& manifest) {
  stageRemove(manifest, package.dbDir() + "enabled");
  stageMark(manifest, package.dbDir() + "disabled", package.userForced ? "user" : "auto");
  package.disabled = true;
  package.scheduled = SCHEDULE_NONE;
}

void markEnabled(InstalledPackage& package, Manifest& manifest) {
  stageRemove(manifest, package.dbDir() + "disabled");
  if (package.userForced)
    stageMark(manifest, package.dbDir() + "enabled", "user");
  else
    stageRemove(manifest, package.dbDir() + "enabled");
  package.disabled = false;
  package.scheduled = SCHEDULE_NONE;
}
