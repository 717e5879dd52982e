#include "query_command.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "command_options.h"
#include "db/database.h"
#include "pkg/console.h"
#include "pkg/paths.h"
#include "platform/root_path.h"

namespace {

const char kUsage[] = "usage: pkgtool query ROOT [--files NAME | --owner PATH | --check]\n";

using Packages = std::vector<const InstalledPackage*>;

// A path as the device names it, its repeated slashes and a final one left
// out: listed paths are relative to /flash and begin with "/".
std::string devicePath(const std::string& path) {
  std::string plain;
  for (char c : path)
    if (c != '/' || plain.empty() || plain.back() != '/') plain += c;
  if (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  return plain;
}

std::string onFlash(const std::string& listed) { return devicePath(PATH_FLASH + listed); }

// Name, version, and the marks: disabled, and the bundle it came with.
int listPackages(const Packages& packages) {
  for (const InstalledPackage* package : packages) {
    std::string line = printable(package->name) + " " + versionText(package->version);
    if (package->disabled) line += " disabled";
    if (!package->bundle.name.empty()) line += " bundle=" + printable(package->bundle.name);
    printf("%s\n", line.c_str());
  }
  return 0;
}

int listFiles(const Packages& packages, const std::string& name) {
  bool found = false;
  std::set<std::string> paths;
  for (const InstalledPackage* package : packages) {
    if (!namesMatch(package->name, name)) continue;
    found = true;
    for (const std::string& listed : package->files) paths.insert(onFlash(listed));
  }
  if (!found) {
    fprintf(stderr, "pkgtool query: no package %s is installed\n", name.c_str());
    return 1;
  }
  for (const std::string& path : paths) printf("%s\n", printable(path).c_str());
  return 0;
}

int showOwners(const Packages& packages, const std::string& path) {
  const std::string wanted = devicePath(path);
  std::set<std::string> owners;
  for (const InstalledPackage* package : packages)
    for (const std::string& listed : package->files)
      if (onFlash(listed) == wanted) owners.insert(package->displayName());
  if (owners.empty()) {
    fprintf(stderr, "pkgtool query: no package owns %s\n", path.c_str());
    return 1;
  }
  for (const std::string& owner : owners) printf("%s\n", printable(owner).c_str());
  return 0;
}

// What lies below /flash: every path, and those that are no directory.
struct FlashContents {
  std::set<std::string> paths;
  std::vector<std::string> nonDirectories;
};

bool isDirectory(DIR* dir, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
  struct stat st;
  return fstatat(dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Walks the directory (a descriptor that the walk closes) and those below
// it, never following a link. False when one of them could not be read.
bool walk(int directory, const std::string& path, FlashContents& contents) {
  DIR* dir = fdopendir(directory);
  if (!dir) {
    close(directory);
    fprintf(stderr, "pkgtool query: cannot read %s: %s\n", path.c_str(), strerror(errno));
    return false;
  }
  bool whole = true;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string below = path + "/" + name;
    contents.paths.insert(below);
    if (!isDirectory(dir, *entry)) {
      contents.nonDirectories.push_back(below);
      continue;
    }
    const int sub = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
      fprintf(stderr, "pkgtool query: cannot read %s: %s\n", below.c_str(), strerror(errno));
      whole = false;
      continue;
    }
    whole = walk(sub, below, contents) && whole;
  }
  closedir(dir);
  return whole;
}

// The database and the files that the installer itself keeps on the flash:
// its log, its markers and the boot image.
bool keptByInstaller(const std::string& path) {
  for (const char* own : {PATH_POST_LOG, PATH_POST_LOG_EARLIER, PATH_PACKAGES_CHANGED, PATH_UPGRADED,
                          PATH_BOOT_IMAGE})
    if (path == own) return true;
  return inDatabase(path.c_str());
}

// The listed files that are missing, and the files on the flash that no
// package lists, one line each, sorted.
int check(int root, const Packages& packages) {
  FlashContents contents;
  bool whole = true;
  const int flash = openDirectoryInRoot(root, PATH_FLASH);
  if (flash >= 0) whole = walk(flash, PATH_FLASH, contents);
  std::set<std::string> findings, owned;
  for (const InstalledPackage* package : packages) {
    for (const std::string& listed : package->files) {
      const std::string path = onFlash(listed);
      owned.insert(path);
      if (!contents.paths.count(path))
        findings.insert("missing: " + printable(path) + " (" + printable(package->displayName()) + ")");
    }
  }
  for (const std::string& path : contents.nonDirectories)
    if (!owned.count(path) && !keptByInstaller(path)) findings.insert("unowned: " + printable(path));
  for (const std::string& line : findings) printf("%s\n", line.c_str());
  return whole && findings.empty() ? 0 : 1;
}

int usage(const std::string& error) {
  if (!error.empty()) fprintf(stderr, "pkgtool query: %s\n", error.c_str());
  fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int runQuery(const std::vector<std::string>& args) {
  CommandOptions options;
  std::string error;
  if (!parseCommandOptions(args, {{nullptr, "--files", true}, {nullptr, "--owner", true}, {nullptr, "--check", false}},
                           options, error))
    return usage(error);
  if (options.operands.size() != 1 || options.values.size() > 1) return usage("");
  const std::string& rootPath = options.operands[0];
  // The root itself is taken as named, a link to it too; below it nothing
  // leads out of it.
  const int root = open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int database = root < 0 ? -1 : openDirectoryInRoot(root, PATH_DATABASE_DIR);
  if (database < 0) {
    fprintf(stderr, "pkgtool query: %s: no package database (flash/var/pdb) to read\n", rootPath.c_str());
    if (root >= 0) close(root);
    return 2;
  }
  close(database);
  PackageDb db;
  loadDatabaseInRoot(db, root, DatabaseLoad::Contents);
  Packages packages(db.packages.begin(), db.packages.end());
  std::stable_sort(packages.begin(), packages.end(),
                   [](const InstalledPackage* a, const InstalledPackage* b) { return a->name < b->name; });
  int status;
  if (options.has("--files"))
    status = listFiles(packages, options.values.at("--files"));
  else if (options.has("--owner"))
    status = showOwners(packages, options.values.at("--owner"));
  else if (options.has("--check"))
    status = check(root, packages);
  else
    status = listPackages(packages);
  close(root);
  return status;
}
