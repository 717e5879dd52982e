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
    static const bool isolated =
        unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    mounted_ = isolated && mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~ScopedTmpfs() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

  bool mounted() const { return mounted_; }

 private:
  std::string dir_;
  bool mounted_ = false;
};

#define REQUIRE_TMPFS(fs) \
  if (!(fs).mounted()) GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace"
