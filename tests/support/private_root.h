// A private root for tests: a temporary directory laid out like a device's
// file system. Everything the installer does happens under fixed absolute
// paths (/flash, /ram, /rw, /dev/flash), so any test that touches them runs
// with this directory as its root, never the host's. It also serves as a
// scratch directory for tests that only need one.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

class PrivateRoot {
 public:
  // Makes flash/boot/, flash/var/pdb/, ram/pdb/, rw/pckg/, tmp/. The
  // directory is removed with the object, unless KEEP_PRIVATE_ROOT is set
  // (for a look after a failure).
  PrivateRoot();
  ~PrivateRoot();
  PrivateRoot(const PrivateRoot&) = delete;
  PrivateRoot& operator=(const PrivateRoot&) = delete;

  // The root directory on the host.
  const std::string& path() const { return root_; }
  // The host path of a path inside the root ("/flash/x" -> root + "/flash/x").
  std::string host(const std::string& inside) const { return root_ + inside; }

  // Helpers on paths inside the root, used from the test's own process.
  void write(const std::string& inside, const std::string& content, mode_t mode = 0644) const;
  std::string read(const std::string& inside) const;  // "" when missing or no file
  bool exists(const std::string& inside) const;       // lstat succeeds
  void makeDir(const std::string& inside) const;      // with parents

 private:
  std::string root_;
};

// A file's content as a test compares it: "<not a file>" for anything but a
// regular file (a FIFO would wait for a writer), "<N bytes>" beyond 64 MiB.
std::string readFile(const std::string& path);

// Everything below a directory of the host: path -> content (readFile),
// "-> text" for a link, "<dir>" for a directory.
std::map<std::string, std::string> snapshot(const std::string& dir);

// Runs body in a child process whose root is the private root: chroot when
// running as root, else inside a new user and mount namespace. Returns true
// when the child entered the root, ran the body and no assertion failed in
// it. A child that cannot enter the root says so and fails; it never runs
// the body against the host's paths.
bool runInRoot(const PrivateRoot& root, const std::function<void()>& body);

struct ProgramResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs a built program (INSTALLER_PATH, PKGTOOL_PATH) as a child process,
// its standard input a pipe fed with input, through the emulator when the
// build is a cross build.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "");

inline ProgramResult pkgtool(const std::vector<std::string>& args) {
  return runProgram(PKGTOOL_PATH, args);
}

// Runs `installer -r <root> args...`; program may name another build of
// the installer (FAULTY_INSTALLER_PATH, which fails or ends at the file
// operation that the environment variable INSTALLER_FAULT names).
ProgramResult runInstaller(const PrivateRoot& root, const std::vector<std::string>& args,
                           const std::string& input = "", const std::string& program = INSTALLER_PATH);

// Runs the installer started inside the root (a copy of the binary, its
// libraries and the emulator are placed under /.test-bin of the root), for
// the modes that act before any root change: --commit and --cancel.
ProgramResult runInstallerInside(const PrivateRoot& root, const std::vector<std::string>& args,
                                 const std::string& input = "",
                                 const std::string& program = INSTALLER_PATH);
