#include "changes/manifest_file.h"

#include <fcntl.h>

#include <cerrno>
#include <fstream>

#include "platform/file_ops.h"

namespace {

char kindLetter(ChangeKind kind) {
  switch (kind) {
    case CHANGE_REMOVE: return 'U';
    case CHANGE_SYMLINK: return 'L';
    default: return 'M';
  }
}

bool representable(const std::string& target, const Change& change) {
  return !target.empty() && target.find_first_of(" \n") == std::string::npos &&
         change.source.find('\n') == std::string::npos;
}

// A line split into its letter, its target and the rest after the next
// space, which is the source (sources may hold spaces).
struct ManifestLine {
  std::string letter;
  std::string target;
  std::string source;
  int fields = 0;
};

ManifestLine splitLine(const std::string& line) {
  ManifestLine parsed;
  const size_t first = line.find(' ');
  parsed.letter = line.substr(0, first);
  parsed.fields = 1;
  if (first == std::string::npos) return parsed;
  const size_t second = line.find(' ', first + 1);
  parsed.target = line.substr(first + 1, second == std::string::npos ? second : second - first - 1);
  parsed.fields = 2;
  if (second == std::string::npos) return parsed;
  parsed.source = line.substr(second + 1);
  parsed.fields = 3;
  return parsed;
}

// Stages the change of one line; false when the line is malformed.
bool stageLine(Manifest& manifest, const std::string& line) {
  const ManifestLine parsed = splitLine(line);
  if (parsed.fields < 2 || parsed.target.empty()) return false;
  if (parsed.letter == "U") {
    stageChange(manifest, parsed.target, CHANGE_REMOVE, "");
  } else if (parsed.letter == "L" || parsed.letter == "M") {
    if (parsed.fields < 3) return false;
    stageChange(manifest, parsed.target, parsed.letter == "L" ? CHANGE_SYMLINK : CHANGE_MOVE,
                parsed.source);
  }
  // Lines of any other kind are passed over.
  return true;
}

}  // namespace

std::string manifestText(const Manifest& manifest, bool& complete) {
  std::string text;
  complete = true;
  for (const auto& [target, change] : manifest.entries) {
    if (!representable(target, change)) {
      complete = false;
      continue;
    }
    text += kindLetter(change.kind);
    text += ' ' + target;
    if (change.kind != CHANGE_REMOVE) text += ' ' + change.source;
    text += '\n';
  }
  return text;
}

bool replaceFile(const std::string& path, const std::string& content) {
  const std::string beside = path + ".new";
  const int fd = fileops::open(beside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool written = fileops::writeAll(fd, content.data(), content.size()) && fileops::fsync(fd) == 0;
  int error = errno;
  if (fileops::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && fileops::rename(beside.c_str(), path.c_str()) == 0 &&
      fileops::syncDirectory(parentDir(path).c_str()))
    return true;
  if (written) error = errno;
  fileops::unlink(beside.c_str());
  errno = error;
  return false;
}

bool writeManifest(const Manifest& manifest, const std::string& path) {
  bool complete = true;
  if (!replaceFile(path, manifestText(manifest, complete))) return false;
  errno = complete ? 0 : EINVAL;
  return complete;
}

bool readManifest(Manifest& manifest, const std::string& path) {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) return true;
    if (!stageLine(manifest, line)) return false;
  }
  if (in.eof()) return true;
  return !manifest.empty();
}
