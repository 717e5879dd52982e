// Package records: the base record, the installed package, the package file
// being considered, their dependency entries and packed version numbers.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// major<<24 | minor<<16 | stage letter<<8 | number; compared as a plain
// unsigned integer, so 2.5beta3 < 2.5rc1 < 2.5 < 2.5.1.
using Version = uint32_t;

// Flags word of a package header.
constexpr uint32_t PF_BOOT = 1;     // the package carries the boot image
constexpr uint32_t PF_NO_META = 2;  // no meta files are written for it

// Formats a version into a static 80-byte buffer that the next call
// overwrites.
const char* versionText(Version version);

struct DependencyEntry {
  std::string name;
  Version min = 0;  // 0: no lower bound
  Version max = 0;  // 0: no upper bound
  int32_t extra = 0;
};

// The entry's name alone when it has no lower bound, else name-minversion.
std::string dependencyDisplayName(const DependencyEntry& entry);

enum ScheduledAction : uint32_t {
  SCHEDULE_NONE = 0,
  SCHEDULE_UNINSTALL = 1,
  SCHEDULE_ENABLE = 2,
  SCHEDULE_DISABLE = 3,
};

// Verbs of the scheduled actions as messages name them, indexed by the action.
extern const char* const scheduledVerbs[4];

class Package {
 public:
  explicit Package(std::string name);
  virtual ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // name-version, as in system-2.5.7.
  std::string displayName() const;

  std::string name;
  Version version = 0;
  uint32_t buildTime = 0;
  uint32_t flags = 0;
  std::string partText24;
  std::string architecture;
  std::string partText2;
  std::string note;
  bool isImage = false;
  std::vector<DependencyEntry> deps;
  std::vector<DependencyEntry> provides;
  std::vector<DependencyEntry> conflicts;
  bool isBundle = false;
  std::vector<Package*> members;  // owned
};

class InstalledPackage : public Package {
 public:
  explicit InstalledPackage(std::string name);

  // The bundle with its version when the package came from one, else the
  // package's own display name.
  std::string installationDisplayName() const;
  // "/flash/var/pdb/" + name + "/".
  std::string dbDir() const;
  // A record with an empty name, which a bundle install puts in the list
  // for its conflicts alone: it is never saved, listed or planned for.
  bool isPlaceholder() const { return name.empty(); }

  std::set<std::string> files;  // each beginning with "/", relative to /flash
  DependencyEntry bundle;
  bool disabled = false;
  bool userForced = false;
  ScheduledAction scheduled = SCHEDULE_NONE;
};

class PackageFile : public Package {
 public:
  explicit PackageFile(std::string name);

  std::string path;
  std::string sourcePath;
  uint32_t fileSize = 0;
  bool isUntracked = false;
};

// Two names match only when they have the same length and the same bytes.
inline bool namesMatch(const std::string& a, const std::string& b) { return a == b; }
