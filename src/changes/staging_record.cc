#include "changes/staging_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <sstream>

#include "changes/commit.h"
#include "changes/manifest.h"
#include "changes/staging_places.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "platform/regular_file.h"

namespace {

// What this run has recorded already.
std::set<std::string> recorded;

bool isRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void deleteTemporaryFiles(const std::string& directory, const std::set<std::string>& keep) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string path = (directory == "/" ? "" : directory) + "/" + entry->d_name;
    if (isTemporaryName(entry->d_name) && !keep.count(path) && isRegularFile(path))
      fileops::unlink(path.c_str());
  }
  closedir(dir);
}

}  // namespace

bool isTemporaryName(const std::string& name) {
  if (name.size() != 9 || name.compare(0, 3, "tmp") != 0) return false;
  for (size_t i = 3; i < name.size(); ++i) {
    const char c = name[i];
    if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9'))
      return false;
  }
  return true;
}

namespace {

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The directories in which temporary files are made for a target: RAM, and
// every directory above the target.
bool isStagingDirectory(const std::string& directory, const std::string& target) {
  if (directory == PATH_RAM || directory == PATH_TMP) return true;
  for (std::string above = parentDir(target);; above = parentDir(above)) {
    if (above == directory) return true;
    if (above == "/" || above == ".") return false;
  }
}

}  // namespace

bool isStagedFor(const Change& change, const std::string& target) {
  if (change.kind != CHANGE_MOVE || !isTemporaryName(baseName(change.source))) return false;
  const size_t slash = change.source.rfind('/');
  return slash != std::string::npos &&
         isStagingDirectory(slash == 0 ? "/" : change.source.substr(0, slash), target);
}

bool recordStagingDirectory(const std::string& directory) {
  if (recorded.count(directory)) return true;
  const std::string recordDir = parentDir(PATH_STAGING_RECORD);
  makeDirs(recordDir);
  const bool isNew = !isRegularFile(PATH_STAGING_RECORD);
  const int fd = fileops::open(PATH_STAGING_RECORD, O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0) return false;
  const std::string line = directory + "\n";
  bool written = fileops::writeAll(fd, line.data(), line.size()) && fileops::fsync(fd) == 0;
  const int error = errno;
  if (fileops::close(fd) != 0) written = false;
  if (written && isNew) written = fileops::syncDirectory(recordDir.c_str());
  if (!written) {
    errno = error ? error : EIO;
    return false;
  }
  recorded.insert(directory);
  return true;
}

void sweepStagingLeftovers(const std::set<std::string>& keep) {
  if (isRegularFile(PATH_STREAM_IMAGE)) fileops::unlink(PATH_STREAM_IMAGE);
  // Read as whatever may lie there: only a regular file of bounded size,
  // and only the directories that the installer makes staged files in.
  std::string text;
  if (readRegularFile(PATH_STAGING_RECORD, TEXT_FILE_LIMIT, text) == FileState::Unopened) return;
  std::istringstream record(text);
  for (std::string directory; std::getline(record, directory);)
    if (isStagingDirectoryPath(directory)) deleteTemporaryFiles(directory, keep);
  // The files that a saved manifest still needs stay recorded: should the
  // manifest be lost, a later start deletes them.
  if (!keep.empty()) return;
  fileops::unlink(PATH_STAGING_RECORD);
  recorded.clear();
}
