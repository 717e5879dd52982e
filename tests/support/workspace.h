// A temporary directory on the host for the files of one test: package
// trees, descriptions and the package files built from them.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/private_root.h"

class Workspace {
 public:
  Workspace() : dir_(makeTemporaryDirectory("test-files")) {}
  ~Workspace() { removeTemporaryDirectory(dir_); }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  std::string path(const std::string& relative) const { return dir_ + "/" + relative; }

  // Writes the file, making the directories above it.
  void write(const std::string& relative, const std::string& content, mode_t mode = 0644) const {
    std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
    std::ofstream(path(relative), std::ios::binary) << content;
    chmod(path(relative).c_str(), mode);
  }
  void makeDir(const std::string& relative) const {
    std::filesystem::create_directories(path(relative));
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string dir_;
};

// Runs the built pkgtool.
inline ProgramResult pkgtool(const std::vector<std::string>& args) {
  return runProgram(pkgtoolPath(), args);
}
