#include "changes/commit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "changes/spinner.h"

namespace {

constexpr size_t kCopyChunk = 16384;

bool isMove(const Change& change) {
  return change.kind == CHANGE_MOVE || change.kind == CHANGE_TEMP;
}

// Unlinks the plain entries of a directory (those not beginning with ".")
// and then the directory itself, which stays when anything is left in it.
void removeDirectory(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '\0' || entry->d_name[0] == '.') continue;
      unlink((path + "/" + entry->d_name).c_str());
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

void removeTarget(const std::string& target) {
  if (unlink(target.c_str()) != 0 && errno == EISDIR) removeDirectory(target);
}

void makeLink(const std::string& target, const std::string& linkText) {
  makeDirs(parentDir(target));
  unlink(target.c_str());
  if (symlink(linkText.c_str(), target.c_str()) != 0) perror("symlink");
}

void moveIntoPlace(const std::string& target, const Change& change, bool showProgress) {
  makeDirs(parentDir(target));
  if (rename(change.source.c_str(), target.c_str()) == 0) return;
  if (errno != EXDEV) {
    perror("rename");
    return;
  }
  // The copy is the temporary file's content now; a file that was not made
  // by this run stays where it is.
  if (copyFile(change.source, target, showProgress) && change.kind == CHANGE_TEMP)
    unlink(change.source.c_str());
}

ssize_t readRetrying(int fd, char* buffer, size_t size) {
  ssize_t got;
  do got = read(fd, buffer, size);
  while (got < 0 && errno == EINTR);
  return got;
}

ssize_t writeRetrying(int fd, const char* buffer, size_t size) {
  ssize_t put;
  do put = write(fd, buffer, size);
  while (put < 0 && errno == EINTR);
  return put;
}

bool copyContent(int from, int to, bool showProgress) {
  char buffer[kCopyChunk];
  for (;;) {
    const ssize_t got = readRetrying(from, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0 || writeRetrying(to, buffer, size_t(got)) != got) return false;
    if (showProgress) advanceSpinner();
  }
}

}  // namespace

void commitChanges(const Manifest& manifest, bool showProgress) {
  // Removals and links first, so that nothing removed afterwards can take a
  // file that has just been moved into place.
  for (const auto& [target, change] : manifest.entries) {
    if (change.kind == CHANGE_REMOVE) removeTarget(target);
    else if (change.kind == CHANGE_SYMLINK) makeLink(target, change.source);
  }
  for (const auto& [target, change] : manifest.entries)
    if (isMove(change)) moveIntoPlace(target, change, showProgress);
}

void makeDirs(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return;
  makeDirs(parentDir(path));
  mkdir(path.c_str(), 0777);
}

bool copyFile(const std::string& source, const std::string& target, bool showProgress) {
  struct stat st;
  if (stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const mode_t permissions = st.st_mode & 07777;

  // The source is opened first, so that a source that cannot be read never
  // costs the target its content.
  const int from = open(source.c_str(), O_RDONLY);
  if (from < 0) return false;
  const int to = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, permissions);
  if (to < 0) {
    close(from);
    return false;
  }
  // A target that existed keeps its old bits through open(); the copy takes
  // the source's, as a rename would.
  fchmod(to, permissions);

  bool copied = copyContent(from, to, showProgress);
  close(from);
  if (close(to) != 0) copied = false;
  return copied;
}
