// Paths of a device root kept as a directory on another machine (a copied
// or mounted flash), read without changing root: resolved below the root's
// directory as a process that changed root into it would resolve them. A
// symbolic link is followed by reading it, never by the kernel: an absolute
// link starts again at the root and ".." goes no higher than the root, so
// that nothing the root holds (a link to /etc, say) leads out of it.
#pragma once

#include <string>

// The directory that holds the last component of path (absolute or not,
// taken below root, a directory descriptor), every link on the way and a
// link in the last component followed as described above, and that last
// component, which is no link when this returns (it may be missing; "."
// when the path names a directory it ends in). The descriptor is the
// caller's to close. -1 with errno set when a directory on the way is
// missing or no directory, or more than 40 links are met (ELOOP).
int resolveInRoot(int root, const std::string& path, std::string& last);

// Opens the directory that path names below root, as resolveInRoot finds
// it, for reading its entries; -1 with errno set.
int openDirectoryInRoot(int root, const std::string& path);
