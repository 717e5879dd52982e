// Fuzz target for the reading of a saved manifest (and of the commit
// journal, which has its format): the input is the file. What is read must
// be written back whole, and the written file must read as the same
// changes, line for line.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "changes/manifest.h"
#include "changes/manifest_file.h"

namespace {

void check(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "manifest_fuzz: check failed: %s\n", what);
  abort();
}

std::string scratch;  // removed at exit
std::string inputPath, writtenPath;

void makeScratch() {
  const char* directory = getenv("TMPDIR");
  std::string pattern = std::string(directory && *directory ? directory : "/tmp") + "/manifest_fuzz.XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    perror("manifest_fuzz: mkdtemp");
    abort();
  }
  scratch = pattern;
  inputPath = scratch + "/MANIFEST";
  writtenPath = scratch + "/written";
  atexit([] {
    unlink(inputPath.c_str());
    unlink(writtenPath.c_str());
    unlink((writtenPath + ".new").c_str());
    rmdir(scratch.c_str());
  });
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* out = fopen(path.c_str(), "wb");
  check(out != nullptr, "making the input file");
  check(fwrite(data, 1, size, out) == size, "writing the input file");
  check(fclose(out) == 0, "closing the input file");
}

std::string readFile(const std::string& path) {
  std::string content;
  FILE* in = fopen(path.c_str(), "rb");
  check(in != nullptr, "opening the written manifest");
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, in)) > 0;) content.append(buffer, got);
  fclose(in);
  return content;
}

bool sameEntries(const Manifest& a, const Manifest& b) {
  if (a.entries.size() != b.entries.size()) return false;
  for (auto i = a.entries.begin(), j = b.entries.begin(); i != a.entries.end(); ++i, ++j)
    if (i->first != j->first || i->second.kind != j->second.kind || i->second.source != j->second.source)
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeScratch();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeFile(inputPath, data, size);
  Manifest read;
  readManifest(read, inputPath);

  // Only what a line can say comes back: a target without blanks or line
  // feeds, a source without line feeds, and never a temporary file of this
  // run, which would be deleted when replaced.
  for (const auto& [target, change] : read.entries) {
    check(!target.empty() && target.find_first_of(" \n") == std::string::npos, "a target a line cannot hold");
    check(change.source.find('\n') == std::string::npos, "a source with a line feed");
    check(change.kind == CHANGE_MOVE || change.kind == CHANGE_SYMLINK || change.kind == CHANGE_REMOVE,
          "a change of a kind that no line names");
    check(change.kind != CHANGE_REMOVE || change.source.empty(), "a removal with a source");
  }

  bool complete = false;
  const std::string text = manifestText(read, complete);
  check(complete, "a change read could not be written back");
  check(writeManifest(read, writtenPath), "the manifest could not be written");
  check(readFile(writtenPath) == text, "the written file differs from the manifest's text");

  Manifest again;
  check(readManifest(again, writtenPath), "the written manifest does not read");
  check(sameEntries(read, again), "the written manifest reads as other changes");
  bool completeAgain = false;
  check(manifestText(again, completeAgain) == text && completeAgain, "the text of the manifest read back differs");
  return 0;
}
