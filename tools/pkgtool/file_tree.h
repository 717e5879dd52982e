// The entries of a directory tree that become a package's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "description.h"

struct TreeEntry {
  std::string name;      // relative to the tree, no leading '/'
  std::string hostPath;  // where it is read from
  uint16_t mode = 0;     // file type and permission bits as in st_mode
  uint64_t size = 0;     // data bytes: the file's size, a link's target length, 0 for a directory
  std::string linkTarget;
  uint8_t hardwareKind = 0;
};

// Lists the regular files, directories and symbolic links below root (not
// root itself), each directory before its contents, names in byte order.
// False with error for an unreadable directory or another type of file.
bool listTree(const std::string& root, std::vector<TreeEntry>& entries, std::string& error);

// Gives each entry the kind of the most specific rule that names it or a
// directory above it. False with error when a rule names no entry.
bool applyHardwareRules(const std::vector<HardwareRule>& rules, const std::string& description,
                        std::vector<TreeEntry>& entries, std::string& error);
