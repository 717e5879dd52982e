// A private root for tests: a temporary directory laid out like a device's
// file system. Everything the installer does happens under fixed absolute
// paths (/flash, /ram, /rw, /dev/flash), so any test that touches them runs
// with this directory as its root, never the host's.
#pragma once

#include <functional>
#include <string>
#include <vector>

class PrivateRoot {
 public:
  // Makes flash/, flash/boot/, flash/var/pdb/, ram/, ram/pdb/, rw/pckg/, tmp/.
  PrivateRoot();
  ~PrivateRoot();
  PrivateRoot(const PrivateRoot&) = delete;
  PrivateRoot& operator=(const PrivateRoot&) = delete;

  // The root directory on the host.
  const std::string& path() const { return root_; }
  // The host path of a path inside the root ("/flash/x" -> root + "/flash/x").
  std::string host(const std::string& inside) const { return root_ + inside; }

  // Helpers on paths inside the root, used from the test's own process.
  void write(const std::string& inside, const std::string& content) const;  // makes parents
  std::string read(const std::string& inside) const;  // "" when missing or no file
  bool exists(const std::string& inside) const;       // lstat succeeds
  void makeDir(const std::string& inside) const;      // with parents

 private:
  std::string root_;
};

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

// The path of the built installer.
std::string installerPath();
// The installer that fails or ends at the file operation that the
// environment variable INSTALLER_FAULT names.
std::string faultyInstallerPath();

// Runs a built program as a child process with the given standard input,
// through the emulator when the build is a cross build.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "");

// Runs `installer -r <root> args...`; program may name another build of
// the installer (faultyInstallerPath()).
ProgramResult runInstaller(const PrivateRoot& root, const std::vector<std::string>& args,
                           const std::string& input = "", const std::string& program = installerPath());

// Runs the installer started inside the root (a copy of the binary, its
// libraries and the emulator are placed under /.test-bin of the root), for
// the modes that act before any root change: --commit and --cancel.
ProgramResult runInstallerInside(const PrivateRoot& root, const std::vector<std::string>& args,
                                 const std::string& input = "",
                                 const std::string& program = installerPath());

// A new directory under $TMPDIR (or /tmp) named prefix-XXXXXX, and its
// removal with everything in it (kept when KEEP_PRIVATE_ROOT is set, for a
// look after a failure). An empty path when it cannot be made.
std::string makeTemporaryDirectory(const std::string& prefix);
void removeTemporaryDirectory(const std::string& path);


// The path of the built pkgtool.
std::string pkgtoolPath();
