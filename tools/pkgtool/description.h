// The description from which `pkgtool build` makes a package file: a short
// text file of one directive per line (the format is documented in
// README.md, "Making packages with pkgtool").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pkg/package.h"
#include "signing_mode.h"

// `hw KIND PATH`: the entry PATH of the tree, and everything below it when
// it is a directory, is meant only for machines of that hardware kind.
struct HardwareRule {
  std::string path;  // relative to the tree, without leading or trailing '/'
  uint8_t kind = 0;
  int line = 0;
};

struct PackageDescription {
  std::string path;  // the description file
  std::string name;
  Version version = 0;
  uint32_t buildTime = 0;
  bool buildTimeGiven = false;  // by a `built` line; members without one take the bundle's
  uint32_t flags = 0;
  std::optional<std::string> architecture;
  std::optional<std::string> note;
  std::optional<std::string> text2;
  std::optional<std::string> text24;
  std::vector<DependencyEntry> deps;
  std::vector<DependencyEntry> provides;
  std::vector<DependencyEntry> conflicts;
  std::optional<std::string> image;     // file whose bytes make the Image part; "" for none
  std::optional<std::string> filesDir;  // the tree of the Files part
  std::vector<HardwareRule> hardwareRules;
  bool untracked = false;
  bool sha256 = false;
  std::optional<SigningMode> signing;

  // A bundle is a description with members.
  std::vector<PackageDescription> members;
  std::vector<DependencyEntry> bundleList;  // `disabled` names

  bool isBundle() const { return !members.empty(); }
};

// Reads the description at path, and the descriptions of its members. Paths
// in it are taken relative to its directory. defaultBuildTime applies when
// it has no `built` line. False with error ("file:line: text") when the
// description is incomplete or wrong.
bool readDescription(const std::string& path, uint32_t defaultBuildTime,
                     PackageDescription& description, std::string& error);

// Whether name can be a package name: 1 to 16 bytes, a single path
// component, no blanks or control characters.
bool validPackageName(const std::string& name);
