#include "changes/commit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "changes/manifest_file.h"
#include "changes/spinner.h"
#include "changes/staging_record.h"
#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "platform/guarded_path.h"

namespace {

constexpr size_t kCopyChunk = 16384;

bool isMove(const Change& change) { return change.kind == CHANGE_MOVE || change.kind == CHANGE_TEMP; }

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The device of the file system that holds the path; 0 when it cannot be
// told. A link below /flash is on the flash, wherever its text leads.
dev_t deviceOf(const std::string& path) {
  struct stat st;
  return lstatBelowPlace(path, st) == 0 ? st.st_dev : 0;
}

// A source that only RAM held: once gone, nothing brings it back.
bool heldInRam(const std::string& path) {
  for (const char* place : {PATH_RAM, PATH_TMP}) {
    const std::string prefix = std::string(place) + "/";
    if (path.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

// The removal of a file that a package listed: /flash//bin/x. It never
// takes a directory with it, whatever came to lie there.
bool isListedFile(const std::string& target) {
  const std::string prefix = std::string(PATH_FLASH) + "//";
  return target.compare(0, prefix.size(), prefix) == 0;
}

// Prints a failed call as perror does, and gives the error it printed:
// printing may change errno (the text of the error may be looked up).
int reportedError(const char* call) {
  const int error = errno;
  perror(call);
  return error;
}

ssize_t readRetrying(int fd, char* buffer, size_t size) {
  ssize_t got;
  do got = read(fd, buffer, size);
  while (got < 0 && errno == EINTR);
  return got;
}

// Copies the content of one open file into another.
bool copyContent(int from, int to, bool showProgress) {
  char buffer[kCopyChunk];
  for (;;) {
    const ssize_t got = readRetrying(from, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0 || !fileops::writeAll(to, buffer, size_t(got))) return false;
    if (showProgress) advanceSpinner();
  }
}

// A new temporary file in the directory, for a copy or a link that is then
// renamed onto its target; the directory is recorded first, so that a cut
// leaves nothing that the next start does not find.
std::string temporaryPathIn(const std::string& directory, int& fd) {
  fd = -1;
  if (!recordStagingDirectory(directory)) return "";
  std::string path = (directory == "/" ? "" : directory) + "/tmpXXXXXX";
  fd = fileops::mkstemp(&path[0]);
  return fd < 0 ? "" : path;
}

// Copies the source into a new temporary file beside the target, durable
// and with the source's permission bits; the path of the copy, or "" with
// errno set.
std::string copyBeside(const std::string& source, const std::string& target, bool showProgress) {
  const int from = fileops::open(source.c_str(), O_RDONLY | O_NONBLOCK);
  if (from < 0) return "";
  struct stat st;
  if (fstat(from, &st) != 0 || !S_ISREG(st.st_mode)) {
    fileops::close(from);
    errno = EINVAL;
    return "";
  }
  int to = -1;
  const std::string copy = temporaryPathIn(parentDir(target), to);
  bool copied = to >= 0 && fileops::fchmod(to, st.st_mode & 07777) == 0 &&
                copyContent(from, to, showProgress) && fileops::fsync(to) == 0;
  const int error = errno;
  fileops::close(from);
  if (to >= 0 && fileops::close(to) != 0) copied = false;
  if (copied) return copy;
  if (to >= 0) fileops::unlink(copy.c_str());
  errno = error ? error : EIO;
  return "";
}

class Commit {
 public:
  Commit(Manifest& manifest, bool showProgress) : manifest_(manifest), showProgress_(showProgress) {}

  // journaled: the changes were read back from the journal, which is
  // durable as it is; writing it again at every start that cannot finish
  // it would only wear the flash.
  CommitFailures run(bool journaled = false) {
    // The staged files are on the flash before the journal names them, and
    // the journal before any change is made.
    if (!makeDurable() || (!journaled && !journal())) return failures_;
    findMovesToDo();
    // Once a move is done, the removals were done and made durable before
    // it: doing them again could remove what a move put in place.
    if (!anyMoveDone_) removeTargets();
    makeLinks();
    for (const auto* entry : gone_) {
      errno = ENOENT;
      perror("rename");
      fail("move " + entry->second.source + " to " + entry->first, ENOENT);
    }
    if (makeDurable() && keepOnlyFlashSources()) moveIntoPlace();
    makeDurable();
    if (!retry_) dropJournal();
    return failures_;
  }

  // A commit whose RAM sources are gone can only be taken as far as its
  // removals and links.
  CommitFailures runWithoutMoves(const std::string& lost) {
    fail("finish the interrupted commit: " + lost + " is gone", ENOENT);
    removeTargets();
    makeLinks();
    if (makeDurable()) dropJournal();
    return failures_;
  }

 private:
  void fail(const std::string& action, int error) { failures_.push_back({action, error}); }
  // A failure that a later start may mend: the journal stays for it.
  void retryLater(const std::string& action, int error) {
    fail(action, error);
    retry_ = true;
  }

  // A change that the journal cannot hold is applied all the same; a cut
  // then leaves it to the next upgrade.
  bool journal() {
    if (writeManifest(manifest_, PATH_JOURNAL) || errno == EINVAL) return true;
    fail("write the journal " + std::string(PATH_JOURNAL), errno);
    return false;
  }

  void dropJournal() {
    if (fileops::unlink(PATH_JOURNAL) != 0 && errno != ENOENT)
      fail("remove " + std::string(PATH_JOURNAL), errno);
    else if (!fileops::syncDirectory(parentDir(PATH_JOURNAL).c_str()))
      fail("sync " + parentDir(PATH_JOURNAL), errno);
  }

  // The moves still to do: those whose source is there. A move whose
  // source is gone was done by an earlier commit of the same changes when
  // its target is there; else nothing can do it any more.
  void findMovesToDo() {
    for (auto& entry : manifest_.entries) {
      const auto& [target, change] = entry;
      if (!isMove(change)) continue;
      // A file this run staged and wrote whole is there; one read back from
      // a file is looked for.
      if ((change.kind == CHANGE_TEMP && change.stagedSize >= 0) || exists(change.source)) {
        toDo_.push_back(&entry);
      } else if (exists(target)) {
        anyMoveDone_ = true;
      } else {
        gone_.push_back(&entry);
      }
    }
  }

  // Makes the directory of a target once per commit; false when it cannot.
  bool directoryFor(const std::string& target) {
    const std::string directory = parentDir(target);
    if (made_.count(directory)) return true;
    if (!makeDirs(directory)) {
      retryLater("create " + directory, errno);
      return false;
    }
    made_.insert(directory);
    return true;
  }

  // The device of a directory, asked once; 0 (not known, perhaps not made
  // yet) is asked again.
  dev_t cachedDevice(const std::string& directory) {
    const auto known = devices_.find(directory);
    if (known != devices_.end()) return known->second;
    const dev_t device = deviceOf(directory);
    if (device != 0) devices_[directory] = device;
    return device;
  }

  // Unlinks the plain entries of a directory (those not beginning with
  // ".") and then the directory itself, which stays when anything is left.
  void removeDirectory(const std::string& path) {
    const int fd = fileops::openDirectory(path.c_str());
    if (DIR* dir = fd < 0 ? nullptr : fdopendir(fd)) {
      while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '\0' || entry->d_name[0] == '.') continue;
        const std::string inside = path + "/" + entry->d_name;
        if (fileops::unlink(inside.c_str()) != 0 && errno != ENOENT && errno != EISDIR)
          fail("remove " + inside, errno);
      }
      closedir(dir);
    } else if (fd >= 0) {
      close(fd);
    }
    if (fileops::rmdir(path.c_str()) != 0 && errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT)
      fail("remove " + path, errno);
  }

  void removeTargets() {
    for (const auto& [target, change] : manifest_.entries) {
      if (change.kind != CHANGE_REMOVE || fileops::unlink(target.c_str()) == 0 || errno == ENOENT) continue;
      if (errno == EISDIR && !isListedFile(target))
        removeDirectory(target);
      else
        fail("remove " + target, errno);
    }
  }

  // A link is made under a temporary name and renamed over the old one, so
  // that the target is never missing.
  void makeLinks() {
    for (const auto& [target, change] : manifest_.entries) {
      if (change.kind != CHANGE_SYMLINK) continue;
      if (!makeDirs(parentDir(target))) {
        fail("create " + parentDir(target), errno);
        continue;
      }
      int fd = -1;
      const std::string temporary = temporaryPathIn(parentDir(target), fd);
      if (fd >= 0) fileops::close(fd);
      if (temporary.empty() || fileops::unlink(temporary.c_str()) != 0 ||
          fileops::symlink(change.source.c_str(), temporary.c_str()) != 0) {
        fail("link " + target + " to " + change.source, reportedError("symlink"));
      } else if (fileops::rename(temporary.c_str(), target.c_str()) != 0) {
        fail("link " + target + " to " + change.source, reportedError("rename"));
        fileops::unlink(temporary.c_str());
      }
    }
  }

  // Copies every source that lies on another file system than its target
  // beside the target, and journals the copies in place of the sources.
  // False when a copy failed: nothing is moved then.
  bool keepOnlyFlashSources() {
    std::vector<std::string> replaced;
    for (auto* entry : toDo_) {
      const std::string& target = entry->first;
      Change& change = entry->second;
      if (!directoryFor(target)) continue;
      if (cachedDevice(parentDir(change.source)) == cachedDevice(parentDir(target))) continue;
      const std::string copy = copyBeside(change.source, target, showProgress_);
      if (copy.empty()) {
        retryLater("copy " + change.source + " to " + target, errno);
        continue;
      }
      // A staged file, also one read back from a saved manifest, is the
      // copy's now: once it is gone, a second commit finds the move done.
      if (change.kind == CHANGE_TEMP || isStagedFor(change, target)) replaced.push_back(change.source);
      change = Change{CHANGE_TEMP, copy};
    }
    if (retry_) return false;
    if (replaced.empty()) return true;
    if (!makeDurable()) return false;
    if (!writeManifest(manifest_, PATH_JOURNAL) && errno != EINVAL) {
      retryLater("write the journal " + std::string(PATH_JOURNAL), errno);
      return false;
    }
    for (const std::string& source : replaced) fileops::unlink(source.c_str());
    return true;
  }

  void moveIntoPlace() {
    for (const auto* entry : toDo_) {
      const auto& [target, change] = *entry;
      if (!directoryFor(target) || fileops::rename(change.source.c_str(), target.c_str()) == 0) continue;
      if (errno == EXDEV) {
        if (!copyFile(change.source, target, showProgress_))
          retryLater("copy " + change.source + " to " + target, errno);
      } else {
        retryLater("move " + change.source + " to " + target, reportedError("rename"));
      }
    }
  }

  // Makes what was written, renamed and removed durable on every file
  // system that the commit touched. A sync that fails leaves the commit to
  // be finished by the next start.
  bool makeDurable() {
    std::map<dev_t, std::string> fileSystems{{deviceOf(parentDir(PATH_JOURNAL)), parentDir(PATH_JOURNAL)}};
    for (const std::string& directory : targetDirectories()) {
      const dev_t device = cachedDevice(directory);
      if (device != 0) fileSystems.emplace(device, directory);
    }
    bool synced = true;
    for (const auto& [device, path] : fileSystems) {
      if (fileops::syncfs(path.c_str()) == 0) continue;
      retryLater("sync " + path, errno);
      synced = false;
    }
    return synced;
  }

  // The directories of the targets, each once; the targets stay the same
  // through a commit.
  const std::vector<std::string>& targetDirectories() {
    if (!targetDirectories_.empty() || manifest_.entries.empty()) return targetDirectories_;
    std::set<std::string> seen;
    for (const auto& [target, change] : manifest_.entries) {
      std::string directory = parentDir(target);
      if (!targetDirectories_.empty() && targetDirectories_.back() == directory) continue;
      if (seen.insert(directory).second) targetDirectories_.push_back(std::move(directory));
    }
    return targetDirectories_;
  }

  Manifest& manifest_;
  const bool showProgress_;
  std::vector<std::string> targetDirectories_;
  CommitFailures failures_;
  bool retry_ = false;
  std::vector<std::pair<const std::string, Change>*> toDo_, gone_;
  bool anyMoveDone_ = false;
  std::set<std::string> made_;
  std::map<std::string, dev_t> devices_;
};

}  // namespace

CommitFailures commitChanges(Manifest& manifest, bool showProgress) {
  CommitFailures failures;
  for (const StagingFailure& lost : manifest.failures)
    failures.push_back({"write " + lost.target, lost.error});
  if (!failures.empty() || manifest.empty()) return failures;
  return Commit(manifest, showProgress).run();
}

CommitFailures finishInterruptedCommit() {
  fileops::unlink((std::string(PATH_JOURNAL) + ".new").c_str());
  if (!exists(PATH_JOURNAL)) return {};
  Manifest manifest;
  readManifest(manifest, PATH_JOURNAL);
  // A journal naming a path that no commit stages was not written by one:
  // nothing of it is done, and it goes, or every start would stop at it.
  std::string offending;
  if (!plannedPathsAreSafe(manifest, offending)) {
    fileops::unlink(PATH_JOURNAL);
    return {{"finish the interrupted commit: " + offending + " is not a path the installer stages", EINVAL}};
  }
  for (const auto& [target, change] : manifest.entries)
    if (isMove(change) && heldInRam(change.source) && !exists(change.source))
      return Commit(manifest, false).runWithoutMoves(change.source);
  return Commit(manifest, false).run(true);
}

namespace {

// Makes the directory named by the first length bytes of path.
bool makeDirectoryPrefix(std::string& path, size_t length) {
  const char kept = path[length];
  path[length] = '\0';
  const bool made = fileops::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
  const int error = errno;
  path[length] = kept;
  errno = error;
  return made;
}

}  // namespace

// Up the path until a directory is there or made, then down again making
// the missing ones: one copy of the path and the lengths of the missing
// directories, however deep it goes.
bool makeDirs(const std::string& path) {
  std::string dir = path;
  std::vector<size_t> missing;
  size_t length = dir.size();
  while (!makeDirectoryPrefix(dir, length)) {
    if (errno != ENOENT) return false;
    missing.push_back(length);
    const size_t slash = length > 0 ? dir.rfind('/', length - 1) : std::string::npos;
    const size_t parentEnd = slash == std::string::npos ? slash : dir.find_last_not_of('/', slash);
    if (parentEnd == std::string::npos) return false;
    length = parentEnd + 1;
  }
  for (auto at = missing.rbegin(); at != missing.rend(); ++at)
    if (!makeDirectoryPrefix(dir, *at)) return false;
  return true;
}

bool copyFile(const std::string& source, const std::string& target, bool showProgress) {
  const std::string copy = copyBeside(source, target, showProgress);
  if (copy.empty()) return false;
  if (fileops::rename(copy.c_str(), target.c_str()) == 0) return true;
  const int error = errno;
  fileops::unlink(copy.c_str());
  errno = error;
  return false;
}
