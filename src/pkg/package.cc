#include "pkg/package.h"

#include <cstdio>

#include "pkg/paths.h"

const char* const scheduledVerbs[4] = {"", "uninstall", "enable", "disable"};

namespace {

const char* stageText(unsigned stage) {
  switch (stage) {
    case 'a': return "alpha";
    case 'b': return "beta";
    case 'c': return "rc";
    default: return "";
  }
}

char* appendNumber(char* at, unsigned value) {
  char digits[10];
  int count = 0;
  do digits[count++] = char('0' + value % 10);
  while ((value /= 10) != 0);
  while (count > 0) *at++ = digits[--count];
  return at;
}

}  // namespace

// As "%u.%u.%u", "%u.%u", "%u.%u%s%u" or "%u.%u%s" would print it; written
// by hand, since listings format a version per package.
const char* versionText(Version version) {
  static char buffer[80];
  const unsigned major = version >> 24;
  const unsigned minor = (version >> 16) & 255;
  const unsigned stage = (version >> 8) & 255;
  const unsigned number = version & 255;
  char* at = appendNumber(buffer, major);
  *at++ = '.';
  at = appendNumber(at, minor);
  if (stage == 'f') {
    if (number != 0) {
      *at++ = '.';
      at = appendNumber(at, number);
    }
  } else {
    for (const char* text = stageText(stage); *text; ++text) *at++ = *text;
    if (number != 0) at = appendNumber(at, number);
  }
  *at = '\0';
  return buffer;
}

std::string dependencyDisplayName(const DependencyEntry& entry) {
  if (entry.min == 0) return entry.name;
  return entry.name + "-" + versionText(entry.min);
}

Package::Package(std::string packageName) : name(std::move(packageName)) {}

Package::~Package() {
  for (Package* member : members) delete member;
}

std::string Package::displayName() const { return name + "-" + versionText(version); }

InstalledPackage::InstalledPackage(std::string packageName) : Package(std::move(packageName)) {}

std::string InstalledPackage::installationDisplayName() const {
  if (!bundle.name.empty()) return dependencyDisplayName(bundle);
  return displayName();
}

std::string InstalledPackage::dbDir() const { return PATH_DATABASE_DIR + name + "/"; }

PackageFile::PackageFile(std::string packageName) : Package(std::move(packageName)) {}
