#include "file_tree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

std::string systemError(const std::string& path) { return path + ": " + strerror(errno); }

bool readNames(const std::string& directory, std::vector<std::string>& names, std::string& error) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) {
    error = systemError(directory);
    return false;
  }
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
      names.push_back(entry->d_name);
  }
  const bool ok = errno == 0;
  if (!ok) error = systemError(directory);
  closedir(dir);
  std::sort(names.begin(), names.end());
  return ok;
}

// Some file systems report 0 as a link's size; the buffer is then a path's.
bool readLink(TreeEntry& entry, std::string& error) {
  std::vector<char> target(std::max<uint64_t>(entry.size, PATH_MAX) + 1);
  const ssize_t length = readlink(entry.hostPath.c_str(), target.data(), target.size());
  if (length < 0 || size_t(length) >= target.size()) {
    error = length < 0 ? systemError(entry.hostPath) : entry.hostPath + ": link target too long";
    return false;
  }
  entry.linkTarget.assign(target.data(), length);
  entry.size = entry.linkTarget.size();
  return true;
}

bool describeEntry(const std::string& hostPath, const std::string& name, TreeEntry& entry,
                   std::string& error) {
  struct stat status;
  if (lstat(hostPath.c_str(), &status) != 0) {
    error = systemError(hostPath);
    return false;
  }
  entry.name = name;
  entry.hostPath = hostPath;
  entry.mode = uint16_t(status.st_mode);
  if (S_ISREG(status.st_mode)) {
    entry.size = uint64_t(status.st_size);
    return true;
  }
  if (S_ISDIR(status.st_mode)) return true;
  if (S_ISLNK(status.st_mode)) {
    entry.size = uint64_t(status.st_size);
    return readLink(entry, error);
  }
  error = hostPath + ": neither a regular file, a directory nor a symbolic link";
  return false;
}

bool walk(const std::string& hostDir, const std::string& prefix, std::vector<TreeEntry>& entries,
          std::string& error) {
  std::vector<std::string> names;
  if (!readNames(hostDir, names, error)) return false;
  for (const std::string& name : names) {
    TreeEntry entry;
    if (!describeEntry(hostDir + "/" + name, prefix + name, entry, error)) return false;
    entries.push_back(entry);
    if (S_ISDIR(entry.mode) && !walk(entry.hostPath, entry.name + "/", entries, error))
      return false;
  }
  return true;
}

// Whether rulePath is name or a directory above it ("" is above everything).
bool covers(const std::string& rulePath, const std::string& name) {
  if (rulePath.empty()) return true;
  return name.compare(0, rulePath.size(), rulePath) == 0 &&
         (name.size() == rulePath.size() || name[rulePath.size()] == '/');
}

}  // namespace

bool listTree(const std::string& root, std::vector<TreeEntry>& entries, std::string& error) {
  struct stat status;
  if (stat(root.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    error = root + ": not a directory";
    return false;
  }
  return walk(root, "", entries, error);
}

bool applyHardwareRules(const std::vector<HardwareRule>& rules, const std::string& description,
                        std::vector<TreeEntry>& entries, std::string& error) {
  for (const HardwareRule& rule : rules) {
    const bool named = rule.path.empty() ||
                       std::any_of(entries.begin(), entries.end(),
                                   [&](const TreeEntry& entry) { return entry.name == rule.path; });
    if (!named) {
      error = description + ":" + std::to_string(rule.line) + ": hw: no entry " + rule.path +
              " in the files";
      return false;
    }
  }
  for (TreeEntry& entry : entries) {
    size_t best = 0;
    bool found = false;
    for (const HardwareRule& rule : rules) {
      // The longest path wins; among equal ones the later line.
      if (covers(rule.path, entry.name) && (!found || rule.path.size() >= best)) {
        best = rule.path.size();
        entry.hardwareKind = rule.kind;
        found = true;
      }
    }
  }
  return true;
}
