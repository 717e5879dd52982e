#include "changes/manifest_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "changes/staging_places.h"
#include "platform/file_ops.h"
#include "platform/regular_file.h"

namespace {

char kindLetter(ChangeKind kind) {
  switch (kind) {
    case CHANGE_REMOVE: return 'U';
    case CHANGE_SYMLINK: return 'L';
    default: return 'M';
  }
}

bool representable(const std::string& target, const Change& change) {
  return !target.empty() && manifestCanName(target) && change.source.find('\n') == std::string::npos;
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

// The longest line that the installer writes: the letter and two paths of
// the longest length the system takes (PATH_MAX, 4096 bytes).
constexpr size_t kLongestLine = 2 + 4096 + 1 + 4096;

// Reads a file line by line, never holding more than one line.
class LineReader {
 public:
  enum Outcome { LINE, END, FAILED };
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line without its line feed; a last line without one counts.
  // FAILED on a read error and on a line longer than kLongestLine.
  Outcome next(std::string& line) {
    line.clear();
    for (;;) {
      if (at_ == filled_ && !fill()) return error_ ? FAILED : line.empty() ? END : LINE;
      const char* start = buffer_ + at_;
      const void* feed = memchr(start, '\n', filled_ - at_);
      const size_t length = feed ? static_cast<const char*>(feed) - start : filled_ - at_;
      if (line.size() + length > kLongestLine) return FAILED;
      line.append(start, length);
      at_ += length;
      if (feed) {
        ++at_;
        return LINE;
      }
    }
  }

 private:
  bool fill() {
    ssize_t got;
    do got = read(fd_, buffer_, sizeof buffer_);
    while (got < 0 && errno == EINTR);
    error_ = got < 0;
    at_ = 0;
    filled_ = got > 0 ? size_t(got) : 0;
    return got > 0;
  }

  const int fd_;
  char buffer_[4096];
  size_t at_ = 0, filled_ = 0;
  bool error_ = false;
};

}  // namespace

bool manifestCanName(const std::string& target) {
  for (const char c : target)
    if (c == ' ' || c == '\n') return false;
  return true;
}

std::vector<std::string> unwritableTargets(const Manifest& manifest) {
  std::vector<std::string> targets;
  for (const auto& [target, change] : manifest.entries)
    if (!representable(target, change)) targets.push_back(target);
  return targets;
}

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
  FileState state;
  const int fd = openRegularFile(path.c_str(), state);
  if (fd < 0) return false;
  LineReader in(fd);
  std::string line;
  LineReader::Outcome outcome;
  bool read = true;
  while ((outcome = in.next(line)) == LineReader::LINE) {
    if (line.empty()) break;
    if (!stageLine(manifest, line)) {
      read = false;
      break;
    }
  }
  close(fd);
  // A read that failed keeps what came before it, as a malformed line does.
  if (outcome == LineReader::FAILED) return !manifest.empty();
  return read;
}

bool plannedPathsAreSafe(const Manifest& manifest, std::string& offending) {
  for (const auto& [target, change] : manifest.entries) {
    const bool hasSource = change.kind != CHANGE_REMOVE;
    if (!isBelowStagingPlace(target) || (hasSource && !isBelowStagingPlace(change.source))) {
      offending = isBelowStagingPlace(target) ? change.source : target;
      return false;
    }
  }
  return true;
}
