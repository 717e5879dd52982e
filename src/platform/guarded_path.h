// Paths below the places whose contents the installer writes: /flash, and
// /ram, /rw and /tmp where it stages. Below them nothing that the installer
// writes, renames, links or removes goes through a symbolic link: a link
// that is there already (put there by a person, an earlier fault or a
// package) could lead a write out of the flash, onto /etc/passwd, say. Each
// directory on the way is opened without following a link, and the last
// component is handed to the *at calls, which do not follow it either.
#pragma once

#include <sys/stat.h>

#include <string>

// The directory that holds the last component of a path, and that
// component.
struct PathAt {
  int dir;           // AT_FDCWD for a path that is not below a place
  std::string name;  // the whole path then
};

// How many names deep an absolute path lies below its place (0 for the
// place itself); -1 when it lies in none of them, or holds a "." or ".."
// component or a NUL byte.
int depthInPlace(const std::string& path);

// Resolves a path. False, with errno set, when a directory on the way is a
// symbolic link (ELOOP), is missing (ENOENT) or is no directory (ENOTDIR), or
// the path holds a "." or ".." component (EINVAL). A path that is not below
// one of the places, or that is a place itself, is taken as it is.
bool resolveBelowPlace(const std::string& path, PathAt& at);
// Both paths of a rename: the directory of the one stays open while the
// other is resolved.
bool resolveBothBelowPlace(const std::string& from, PathAt& fromAt, const std::string& to, PathAt& toAt);

// Opens the directory that a resolved path names, for reading its entries
// or syncing; a link there is not followed (ELOOP).
int openDirectoryAt(const PathAt& at);

// True when the way to a path below a place leads through a symbolic link
// that is there; a path that ends in "/" names a directory, which is on the
// way too.
bool leadsThroughLink(const std::string& path);

// The deepest directory on the way to a path below a place (the path
// itself included) that is there, reached as resolution reaches it: its
// descriptor, valid until the next resolution, with its path in nearest.
// -1 when the path is not below a place or the place cannot be opened.
int nearestDirectoryBelowPlace(const std::string& path, std::string& nearest);

// Forgets the directories found missing, once a name has been made that
// may be one of them.
void forgetMissingDirectories();

// Forgets what is known of a directory and those below it, once it has been
// removed, renamed or replaced.
void forgetDirectory(const std::string& path);

// lstat of a path resolved as above: what is there, without going through a
// link. -1 with errno set otherwise (ELOOP when a directory on the way is a
// link).
int lstatBelowPlace(const std::string& path, struct stat& st);
