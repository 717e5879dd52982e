// Fuzz target for the reading of a package's database entry: the input is a
// set of meta files, each written into a scratch copy of the database, and
// the entry is loaded from there as a start loads it, in full and for the
// listing.
//
// The input is a list of sections, each a line "@@NAME" followed by the
// bytes of the file up to the next line that starts with "@@":
//   @@version @@deps @@provides @@conflicts @@bundle @@files
//   @@disabled @@enabled @@image     files of the entry's directory
//   @@schedule                       the request left under /ram/pdb/
//   @@name                           the entry's name (default "system")
// "@@NAME/" makes a directory of that name instead of a file. A section of
// any other name is passed over.

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "changes/manifest.h"
#include "db/database.h"
#include "db/database_image.h"
#include "pkg/package_db.h"

namespace {

void check(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "meta_fuzz: check failed: %s\n", what);
  abort();
}

std::string scratch;      // the scratch directory, removed at exit
std::string entryDir;     // the entry's copy: scratch/pdb/entry/
std::string scheduleBase; // scratch/ram/pdb/

int removeOne(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

void removeTree(const std::string& path) { nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS); }

void makeScratch() {
  const char* directory = getenv("TMPDIR");
  std::string pattern = std::string(directory && *directory ? directory : "/tmp") + "/meta_fuzz.XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    perror("meta_fuzz: mkdtemp");
    abort();
  }
  scratch = pattern;
  entryDir = scratch + "/pdb/entry/";
  scheduleBase = scratch + "/ram/pdb/";
  atexit([] { removeTree(scratch); });
}

void writeFile(const std::string& path, const std::string& content) {
  FILE* out = fopen(path.c_str(), "wb");
  check(out != nullptr, "making a file in the scratch directory");
  check(fwrite(content.data(), 1, content.size(), out) == content.size(), "writing a file");
  check(fclose(out) == 0, "closing a file");
}

// Writes a section into place: a file, or a directory when the name ends
// with "/".
void place(const std::string& path, const std::string& name, const std::string& content) {
  if (name.back() == '/')
    mkdir((path + name).c_str(), 0755);
  else
    writeFile(path + name, content);
}

// The sections of the input by name; a later section of a name replaces an
// earlier one, and bytes before the first are passed over.
std::map<std::string, std::string> sections(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::map<std::string, std::string> found;
  size_t at = text.compare(0, 2, "@@") == 0 ? 0 : text.find("\n@@");
  if (at == std::string::npos) return found;
  if (at != 0) ++at;
  for (;;) {
    const size_t lineEnd = text.find('\n', at);
    if (lineEnd == std::string::npos) {
      found[text.substr(at + 2)] = "";
      return found;
    }
    const size_t next = text.find("\n@@", lineEnd);
    const size_t end = next == std::string::npos ? text.size() : next + 1;
    found[text.substr(at + 2, lineEnd - at - 2)] = text.substr(lineEnd + 1, end - lineEnd - 1);
    if (next == std::string::npos) return found;
    at = end;
  }
}

const char* const kEntryFiles[] = {"version", "deps",    "provides", "conflicts", "bundle",
                                   "files",   "disabled", "enabled", "image"};

// What the listing prints of a record, which both loads must agree on.
struct Listed {
  std::string name;
  uint32_t version, buildTime;
  std::string bundle;
  bool disabled;
  bool operator==(const Listed& other) const {
    return name == other.name && version == other.version && buildTime == other.buildTime &&
           bundle == other.bundle && disabled == other.disabled;
  }
};

// Loads the entry as a start does: the records of its image first, then a
// record of its own name when the image gave none, each filled from the
// entry's files.
std::vector<Listed> load(const std::string& name, bool hasImage, DatabaseLoad how) {
  PackageDb db;
  db.quiet = true;
  if (hasImage) loadImageRecords(db, entryDir + "image", name);
  if (!db.lookupByName(name)) db.packages.push_back(new InstalledPackage(name));
  std::vector<Listed> listed;
  for (InstalledPackage* package : db.packages) {
    loadPackageFrom(db, *package, entryDir, scheduleBase, how);
    listed.push_back({package->name, package->version, package->buildTime, package->bundle.name,
                      package->disabled});
    if (how != DatabaseLoad::Full) continue;
    // What a later save writes back must read as the same: one path a
    // line, names and numbers as words.
    for (const std::string& path : package->files) {
      check(path.size() > 1 && path[0] == '/', "a listed file without its leading slash");
      check(path.find('\n') == std::string::npos, "a listed file with a line feed");
    }
    for (const auto* list : {&package->deps, &package->provides, &package->conflicts})
      for (const DependencyEntry& entry : *list) {
        check(!entry.name.empty(), "a relation without a name");
        check(entry.name.find_first_of(" \t\n\v\f\r") == std::string::npos, "a relation name with a blank");
      }
    check(package->bundle.name.find_first_of(" \t\n\v\f\r") == std::string::npos, "a bundle name with a blank");
    check(package->scheduled <= SCHEDULE_DISABLE, "a request of no known kind");
  }
  return listed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeScratch();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  removeTree(scratch + "/pdb");
  removeTree(scratch + "/ram");
  for (const std::string& dir : {scratch + "/pdb", entryDir, scratch + "/ram", scheduleBase})
    mkdir(dir.c_str(), 0755);

  std::map<std::string, std::string> files = sections(data, size);
  std::string name = "system";
  if (files.count("name")) {
    name = files["name"];
    if (!name.empty() && name.back() == '\n') name.pop_back();
    // A directory entry's name: no slash, no NUL, not . or ..
    if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("/\0", 2)) != std::string::npos ||
        name.size() > 255)
      return 0;
  }
  bool hasImage = false;
  for (const auto& [section, content] : files) {
    if (section.empty() || section == "/") continue;
    const std::string bare = section.back() == '/' ? section.substr(0, section.size() - 1) : section;
    for (const char* known : kEntryFiles)
      if (bare == known) {
        place(entryDir, section, content);
        if (bare == "image") hasImage = true;
      }
    if (bare == "schedule") {
      const std::string dir = scheduleBase + sanitisedName(name) + "/";
      mkdir(dir.c_str(), 0755);
      place(dir, section, content);
    }
  }

  const std::vector<Listed> full = load(name, hasImage, DatabaseLoad::Full);
  const std::vector<Listed> listing = load(name, hasImage, DatabaseLoad::Listing);
  check(full == listing, "the listing's load and the full load disagree");
  return 0;
}
