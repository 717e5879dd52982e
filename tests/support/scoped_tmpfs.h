// A small tmpfs mounted over a directory of a private root for the length of
// a test, so that file-system limits and moves across file systems can be
// tried. The test process first moves into a mount namespace of its own with
// private propagation: the host never sees these mounts.
#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <string>

class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string& hostDir, const std::string& options) : dir_(hostDir) {
    mounted_ = isolated() && mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  // Not a tmpfs: a file of the host (such as /dev/zero) bound over an
  // existing file of the root.
  struct Bind {
    std::string source;
  };
  ScopedTmpfs(const std::string& hostPath, const Bind& bind) : dir_(hostPath) {
    mounted_ = isolated() && mount(bind.source.c_str(), dir_.c_str(), nullptr, MS_BIND, nullptr) == 0;
  }
  ~ScopedTmpfs() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

  bool mounted() const { return mounted_; }

 private:
  static bool isolated() {
    static const bool done =
        unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return done;
  }

  std::string dir_;
  bool mounted_ = false;
};

#define REQUIRE_TMPFS(fs) \
  if (!(fs).mounted()) GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace"
