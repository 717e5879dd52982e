// A temporary directory for the files of one test: package trees,
// descriptions and the package files built from them.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/private_root.h"

class Workspace {
 public:
  Workspace() : dir_(makeTemporaryDirectory("pkgtool-test")) {}
  ~Workspace() { removeTemporaryDirectory(dir_); }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  std::string path(const std::string& relative) const { return dir_ + "/" + relative; }

  // Writes the file, making the directories above it.
  void write(const std::string& relative, const std::string& content, mode_t mode = 0644) const {
    makeParents(relative);
    std::ofstream(path(relative), std::ios::binary) << content;
    chmod(path(relative).c_str(), mode);
  }
  void makeDir(const std::string& relative) const { makeParents(relative + "/x"); }
  std::string read(const std::string& relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  void makeParents(const std::string& relative) const {
    for (size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1))
      mkdir(path(relative.substr(0, slash)).c_str(), 0755);
  }

  std::string dir_;
};

// Runs the built pkgtool.
inline ProgramResult pkgtool(const std::vector<std::string>& args) {
  return runProgram(pkgtoolPath(), args);
}
