// Opening the files that the device holds for the installer to read. They
// may be anything that an earlier fault, a bad package or a person left:
// a FIFO where a text file was expected would block the run for ever, a
// device such as /dev/zero or a huge sparse file would take all its memory.
// So only regular files are read, the open never waits for a FIFO's writer,
// and small text files are read only up to a bound.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <string>

// The bound of the installer's own small text files: meta files, marks,
// schedules, markers; none of them is more than a few lines.
constexpr size_t TEXT_FILE_LIMIT = size_t(4) << 20;
// The bound of a package's files list, one line per file it installed: a
// list is never taken for damage (and its package uninstalled) for being
// long. 16 MiB hold 120,000 paths of 140 bytes, more files than a 512 MiB
// flash can hold at one block each, and as much as the install that wrote
// the list held in memory itself.
constexpr size_t FILES_LIST_LIMIT = size_t(16) << 20;

enum class FileState {
  Opened,      // a regular file, opened (or read whole)
  Unopened,    // open failed (errno says why): usually, nothing is there
  NotRegular,  // a directory, FIFO, device or socket: left unread
  TooLarge,    // a regular file larger than the bound: left unread
};

// Opens a regular file for reading, relative to dirFd as openat does
// (AT_FDCWD for none), with extraFlags (O_NOFOLLOW) added to the open. -1,
// with state saying why, for anything else.
int openRegularFile(int dirFd, const char* path, FileState& state, int extraFlags = 0);
inline int openRegularFile(const char* path, FileState& state) {
  return openRegularFile(AT_FDCWD, path, state);
}

// Reads a whole regular file of at most limit bytes into content (left
// empty otherwise). A read error ends the content.
FileState readRegularFile(int dirFd, const char* path, size_t limit, std::string& content,
                          int extraFlags = 0);
inline FileState readRegularFile(const std::string& path, size_t limit, std::string& content) {
  return readRegularFile(AT_FDCWD, path.c_str(), limit, content);
}

// Why a file was left unread, for a message: "is not a regular file" or
// "is larger than 4194304 bytes".
std::string unreadReason(FileState state, size_t limit);
