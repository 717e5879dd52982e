#include "pkg/database.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "changes/manifest.h"
#include "pkg/console.h"
#include "pkg/database_image.h"

namespace {

const char kDatabaseDir[] = "/flash/var/pdb/";
const char kImagesDir[] = "/rw/pckg/.images/";
const uint32_t kAllOnes = 0xFFFFFFFF;

// Parses an unsigned decimal that fits 32 bits; nothing else is accepted.
bool parseUnsigned(const std::string& word, uint32_t& value) {
  if (word.empty() || word.size() > 10) return false;
  uint64_t number = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number > kAllOnes) return false;
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

bool readUnsigned(std::istream& in, uint32_t& value) {
  std::string word;
  return static_cast<bool>(in >> word) && parseUnsigned(word, value);
}

// Reads groups of name, min, max (and extra) until the file ends where a
// name is due. False when a group is cut short or holds garbage; the entries
// read before it stay.
bool readDependencyList(const std::string& path, std::vector<DependencyEntry>& list, bool withExtra) {
  std::ifstream in(path);
  if (!in) return true;
  std::string name;
  while (in >> name) {
    DependencyEntry entry;
    entry.name = name;
    if (!readUnsigned(in, entry.min) || !readUnsigned(in, entry.max)) return false;
    if (withExtra) {
      std::string word;
      if (!(in >> word) || !parseSigned(word, entry.extra)) return false;
    }
    list.push_back(entry);
  }
  return true;
}

bool readWord(const std::string& path, std::string& word) {
  std::ifstream in(path);
  return static_cast<bool>(in >> word);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool canOpen(const std::string& path) { return std::ifstream(path).is_open(); }

void readFileList(const std::string& path, std::set<std::string>& files) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    files.insert(line[0] == '/' ? line : "/" + line);
  }
}

// Fields that only the meta files hold when the record was not filled from
// an image.
void loadMetaFiles(InstalledPackage& package, const std::string& dir) {
  {
    std::ifstream in(dir + "version");
    if (!readUnsigned(in, package.version) || !readUnsigned(in, package.buildTime))
      package.scheduled = SCHEDULE_UNINSTALL;
  }
  if (!readDependencyList(dir + "deps", package.deps, false) ||
      !readDependencyList(dir + "provides", package.provides, true) ||
      !readDependencyList(dir + "conflicts", package.conflicts, false))
    package.scheduled = SCHEDULE_UNINSTALL;
  std::string bundleName;
  if (readWord(dir + "bundle", bundleName)) {
    package.bundle = DependencyEntry{bundleName, 0, 0, 0};
    package.scheduled = SCHEDULE_UNINSTALL;
  }
  package.isBundle = !fileExists(dir + "files");
  if (!package.isBundle) readFileList(dir + "files", package.files);
}

void loadMarks(InstalledPackage& package, const std::string& dir) {
  package.userForced = false;
  std::ifstream disabledMark(dir + "disabled");
  if (disabledMark.is_open()) {
    package.disabled = true;
    std::string line;
    std::getline(disabledMark, line);
    package.userForced = line != "auto";
  } else {
    package.disabled = false;
    package.userForced = canOpen(dir + "enabled");
  }
}

void loadSchedule(InstalledPackage& package) {
  std::string word;
  if (!readWord("/ram/pdb/" + sanitisedName(package.name) + "/schedule", word)) return;
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

// The names of the database directory's entries, hidden ones left out.
std::vector<std::string> databaseEntries(DIR* dir) {
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  return names;
}

void stageMark(Manifest& manifest, const std::string& path, const char* word) {
  std::ofstream mark = createStagedFile(manifest, path, 8, 0);
  mark << word << '\n';
}

}  // namespace

std::string sanitisedName(const std::string& name) {
  std::string sanitised;
  for (unsigned char c : name)
    if ((c < 128 && isalnum(c)) || c == '-') sanitised += static_cast<char>(c);
  return sanitised;
}

void loadDatabase(PackageDb& db, bool quiet, const std::string& systemArch) {
  db.quiet = quiet;
  db.systemArch = systemArch;
  DIR* dir = opendir(kDatabaseDir);
  if (!dir) {
    printWarning(db, "could not open repo");
    return;
  }
  const std::vector<std::string> entries = databaseEntries(dir);
  closedir(dir);

  for (const std::string& entry : entries)
    loadImageRecords(db, std::string(kDatabaseDir) + entry + "/image", entry);
  for (const std::string& entry : entries)
    loadImageRecords(db, std::string(kImagesDir) + entry, entry);
  for (InstalledPackage* package : db.packages) loadPackage(*package);
  for (const std::string& entry : entries) {
    if (db.findByName(entry) >= 0) continue;
    InstalledPackage* package = new InstalledPackage(entry);
    loadPackage(*package);
    db.packages.push_back(package);
  }
}

void loadPackage(InstalledPackage& package) {
  const std::string dir = package.dbDir();
  if (package.version == 0) loadMetaFiles(package, dir);
  loadMarks(package, dir);
  if (package.version == kAllOnes && package.buildTime == kAllOnes) return;
  loadSchedule(package);
}

void reportWriteFailure(PackageDb& db, const InstalledPackage& package, const char* label) {
  const int error = errno;
  const std::string name = package.installationDisplayName();
  if (error == ENOSPC)
    printError(db, "installation of %s failed: disk is too small", name.c_str());
  else if (error == EIO)
    printError(db, "installation of %s failed: disk error", name.c_str());
  else
    printError(db, "installation of %s failed: could not create %s: %s", name.c_str(), label,
               strerror(error));
}

bool writeDependencyList(Manifest& manifest, const std::string& path,
                         const std::vector<DependencyEntry>& list, bool withExtra) {
  std::ofstream out = createStagedFile(manifest, path, 1024, 0);
  for (const DependencyEntry& entry : list) {
    out << entry.name << ' ' << entry.min << ' ' << entry.max;
    if (withExtra) out << ' ' << entry.extra;
    out << '\n';
  }
  out.flush();
  return out.good();
}

bool writeFileList(InstalledPackage& package, Manifest& manifest) {
  if (package.isBundle) return true;
  std::ofstream out = createStagedFile(manifest, package.dbDir() + "files", 4096, 0);
  for (const std::string& path : package.files) {
    if (path.empty()) continue;
    out << (path[0] == '/' ? path.substr(1) : path) << '\n';
  }
  out.flush();
  return out.good();
}

bool savePackage(PackageDb& db, InstalledPackage& package, Manifest& manifest) {
  const std::string dir = package.dbDir();
  if (!package.isImage && !(package.flags & PF_NO_META)) {
    {
      std::ofstream version = createStagedFile(manifest, dir + "version", 32, 0);
      version << package.version << ' ' << package.buildTime << '\n';
      version.flush();
      if (!version.good()) {
        reportWriteFailure(db, package, "meta/version");
        return false;
      }
    }
    if (!writeDependencyList(manifest, dir + "deps", package.deps, false)) {
      reportWriteFailure(db, package, "meta/deps");
      return false;
    }
    if (!package.provides.empty() &&
        !writeDependencyList(manifest, dir + "provides", package.provides, true)) {
      reportWriteFailure(db, package, "meta/provides");
      return false;
    }
    if (!package.conflicts.empty() &&
        !writeDependencyList(manifest, dir + "conflicts", package.conflicts, false)) {
      reportWriteFailure(db, package, "meta/conflicts");
      return false;
    }
    if (!package.bundle.name.empty()) {
      std::ofstream bundle = createStagedFile(manifest, dir + "bundle", 16, 0);
      bundle << package.bundle.name << '\n';
      bundle.flush();
      if (!bundle.good()) {
        reportWriteFailure(db, package, "meta/bundle");
        return false;
      }
    } else {
      stageRemove(manifest, dir + "bundle");
    }
    if (!writeFileList(package, manifest)) {
      reportWriteFailure(db, package, "meta/files");
      return false;
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
  return true;
}

bool saveIntoFreshDirectory(PackageDb& db, InstalledPackage& package, Manifest& manifest) {
  if (!reclaimDirectory(manifest, package.dbDir())) return false;
  return savePackage(db, package, manifest);
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
