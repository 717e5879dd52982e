// The Manifest: every change to disk is staged here first, as an ordered map
// from target path to the change that produces or removes it, and applied
// at once by commitChanges.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class FileWriter;

enum ChangeKind : uint32_t {
  CHANGE_MOVE = 0,     // rename the existing file source onto the target
  CHANGE_TEMP = 1,     // rename a temporary file made by this run; owned here
  CHANGE_SYMLINK = 3,  // make the target a symbolic link whose text is source
  CHANGE_REMOVE = 4,   // remove the target (a file, or a directory and its entries)
};

struct Change {
  ChangeKind kind = CHANGE_REMOVE;
  std::string source;
  // The size of a staged file (CHANGE_TEMP) once it was written whole; -1
  // when not known, as for a change read back from a file.
  int64_t stagedSize = -1;
};

// A staged file that did not reach its temporary file whole.
struct StagingFailure {
  std::string target;
  int error = 0;
};

struct Manifest {
  std::map<std::string, Change> entries;  // keyed by target, byte-wise order
  // Staged files that lost data; a Manifest with any is not applied.
  std::vector<StagingFailure> failures;

  size_t size() const { return entries.size(); }
  bool empty() const { return entries.empty(); }
};

// Inserts or replaces the entry for target; a replaced temporary file is
// deleted.
void stageChange(Manifest& manifest, const std::string& target, ChangeKind kind,
                 const std::string& source);
// Stages the removal of a path that exists, or forgets what is staged for a
// path that does not.
void stageRemove(Manifest& manifest, const std::string& path);
void stageMove(Manifest& manifest, const std::string& source, const std::string& target);
void stageSymlink(Manifest& manifest, const std::string& linkText, const std::string& target);

// A staged file open for writing, through the descriptor that made it. A
// write that fails fails the stream; closing tells whether everything
// reached the file, and a staged file that lost data is noted in its
// Manifest, so that it is never applied.
class StagedFile : public std::ostream {
 public:
  StagedFile(Manifest& manifest, std::string target, int fd, int error);
  StagedFile(StagedFile&& other);
  ~StagedFile() override;

  // Writes what is left and closes the file. False when anything was lost,
  // with errno set to why.
  bool close();

 private:
  Manifest* manifest_;
  std::string target_;
  std::unique_ptr<FileWriter> writer_;
};

// Creates a temporary file near the target when its file system has room for
// sizeHint plus a tenth, else in RAM, with the permission bits of mode (when
// not 0); stages it for the target and returns a stream open on it. A stream
// that failed, with errno set, is the caller's to report; nothing is staged
// for a file that could not be made, and the Manifest notes the failure.
StagedFile createStagedFile(Manifest& manifest, const std::string& target, uint32_t sizeHint,
                            uint32_t mode);

// Prepares a directory that was staged for removal to be written again.
bool reclaimDirectory(Manifest& manifest, const std::string& path);

// The directory part of a path as POSIX dirname gives it.
std::string parentDir(const std::string& path);

// True when a path taken relative to a directory names something below it:
// it has a name, no ".." component or NUL byte that would make it name the
// directory itself or lead out of it, and no "." component either, which a
// saved manifest or the journal cannot hold.
bool staysBelow(const std::string& relativePath);
