// What the end-to-end tests of the install flows share: package files made
// by the real pkgtool in a temporary directory on the host, the few bad
// package files that pkgtool refuses to make (cut from good ones, or signed
// here with the test keys), and views of what a run left in a private root.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/private_root.h"

namespace e2e {

// One package to describe to pkgtool.
struct Pkg {
  std::string name;
  std::string version;
  std::vector<std::string> lines;            // further description lines
  // Relative path -> content; a path ending in '*' names an executable
  // file (without the '*').
  std::map<std::string, std::string> files;
};

// A temporary directory on the host where packages are described and built.
class PackageShop {
 public:
  PackageShop();
  ~PackageShop();
  PackageShop(const PackageShop&) = delete;
  PackageShop& operator=(const PackageShop&) = delete;

  std::string path(const std::string& relative) const { return dir_ + "/" + relative; }
  void write(const std::string& relative, const std::string& content, mode_t mode = 0644) const;

  // Writes the description (and its file tree) and returns its path.
  std::string describe(const Pkg& pkg) const;
  // Builds the package, signed in the given mode with the test keys, and
  // returns the bytes of the package file.
  std::string build(const Pkg& pkg, const std::string& signing = "both") const;
  // Builds a description written earlier (see describe), signed with both
  // signatures, and returns the bytes of the package file.
  std::string buildDescription(const std::string& description,
                               const std::string& signing = "both") const;
  // A bundle of the members; disabledMembers become its bundle list.
  std::string buildBundle(const std::string& name, const std::string& version,
                          const std::vector<Pkg>& members,
                          const std::vector<std::string>& disabledMembers = {},
                          const std::vector<std::string>& lines = {}) const;

 private:
  std::string dir_;
};

// The parts of a package file, to cut and splice package files.
struct FilePart {
  uint16_t type;
  std::string data;
};
std::vector<FilePart> splitParts(const std::string& file);
std::string joinParts(const std::vector<FilePart>& parts, uint32_t magic = 0xBAD0F11E);
// The parts from the first part of the given type up to and including the
// next Signature part: one package, as it stands inside a file.
std::vector<FilePart> packageParts(const std::vector<FilePart>& parts, size_t from);
// Appends a Signature part (legacy and EdDSA) over the parts given, which
// start at the package header.
std::vector<FilePart> signParts(std::vector<FilePart> parts);

// Sets an environment variable for the length of a scope; the installer
// started by the test inherits it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// The tree below a directory of the root: path -> content, "<dir>" for a
// directory, "-> text" for a symbolic link. Leaves out /flash/postlog.
std::map<std::string, std::string> snapshot(const PrivateRoot& root, const std::string& inside);
// Names of the leftover temporary files ("tmp" + 6 characters) below the
// directory.
std::vector<std::string> temporaryFiles(const PrivateRoot& root, const std::string& inside);
// The lines of /flash/postlog.
std::vector<std::string> postLog(const PrivateRoot& root);
// The text of a symbolic link, "" when it is none.
std::string linkText(const PrivateRoot& root, const std::string& inside);
// The names of the rows that --show prints, in order.
std::vector<std::string> shownNames(const PrivateRoot& root);
// Permission bits, or -1.
int permissions(const PrivateRoot& root, const std::string& inside);

// Installs the package file from standard input; fails the test unless the
// status is 0.
void installFromStdin(const PrivateRoot& root, const std::string& bytes);
// Places a package file in a download directory of the root.
void download(const PrivateRoot& root, const std::string& bytes, const std::string& fileName,
              const std::string& directory = "/rw/pckg/.download/");

// A packed version as pkgtool writes it: "1.0" -> 0x01006600.
uint32_t packed(unsigned major, unsigned minor, unsigned number = 0);

}  // namespace e2e
