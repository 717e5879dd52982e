// Fuzz target for the reading of package files: arbitrary bytes go through
// PackageReader the way an install from a stream walks them (metadata,
// reference lists, the Files payload, signatures), with and without hashing
// and a tee, and through readPackageFile from a file on disk.
//
// The payload walk here mirrors unpackFiles entry by entry but discards the
// data instead of staging it, so that nothing is written under /flash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "install/unpack.h"
#include "pkg/package.h"
#include "pkg/paths.h"
#include "pkgfile/file_entry.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"
#include "pkgfile/part_type.h"

namespace {

// Every type an install from a stream stops at, and the texts besides, so
// that their reading is exercised too.
std::vector<uint32_t> wantedTypes() {
  std::vector<uint32_t> types = PARTS_STREAM_INSTALL;
  types.insert(types.end(), {Text24, Text2, Note});
  return types;
}

constexpr size_t kCopyChunk = 16384;
constexpr std::streamoff kImageStep = 4096;
// The hardware kind this walk takes as the machine's own, besides 0.
constexpr uint8_t kMachineKind = 2;

void check(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "package_fuzz: check failed: %s\n", what);
  abort();
}

// A tee target that checks that it receives exactly the bytes of the input,
// in order, each once.
class CheckingSink : public std::streambuf {
 public:
  CheckingSink(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t count() const { return count_; }

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    check(count >= 0 && size_t(count) <= size_ - count_, "tee got more bytes than the input holds");
    check(memcmp(bytes, data_ + count_, count) == 0, "tee got bytes out of order");
    count_ += count;
    return count;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t count_ = 0;
};

// Where an entry would land: it must stay under /flash, and under the
// package's own directory when it is disabled.
void checkTarget(const InstalledPackage& package, const std::string& entryName) {
  const std::string target = entryTarget(package, entryName);
  const std::string root = package.disabled ? PATH_DISABLED_DIR + package.name + "/"
                                             : std::string(PATH_FLASH) + "/";
  check(target.compare(0, root.size(), root) == 0, "entry target outside its root");
  size_t start = 0;
  while (start <= target.size()) {
    size_t end = target.find('/', start);
    if (end == std::string::npos) end = target.size();
    check(target.compare(start, end - start, "..") != 0, "entry target with a '..' component");
    start = end + 1;
  }
}

// The entries of the Files part the reader stands on, read as unpackFiles
// reads them.
void walkFiles(InstalledPackage& package, PackageReader& reader) {
  InflateStream payload(reader);
  std::vector<char> chunk(kCopyChunk);
  for (;;) {
    if (!payload) return;
    uint8_t bytes[FILE_ENTRY_HEADER_SIZE];
    payload.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (static_cast<size_t>(payload.gcount()) != sizeof bytes) return;
    const FileEntryHeader header = decodeFileEntryHeader(bytes);

    std::string entryName(header.nameLength, '\0');
    payload.read(&entryName[0], header.nameLength);
    if (static_cast<size_t>(payload.gcount()) != header.nameLength || !staysBelow(entryName)) return;

    const bool wanted = header.isRegularFile() &&
                        (header.hardwareKind == 0 || header.hardwareKind == kMachineKind);
    if (!wanted) {
      payload.seekg(header.size, std::ios::cur);
      continue;
    }
    package.disabled = false;
    checkTarget(package, entryName);
    if (!package.name.empty()) {
      package.disabled = true;
      checkTarget(package, entryName);
      package.disabled = false;
    }
    for (uint32_t left = header.size; left > 0;) {
      const size_t wantedBytes = left < kCopyChunk ? left : kCopyChunk;
      payload.read(chunk.data(), wantedBytes);
      if (static_cast<size_t>(payload.gcount()) != wantedBytes) return;
      left -= wantedBytes;
    }
    const std::streamoff inPart = reader.tellg();
    check(inPart == -1 || uint64_t(inPart) <= reader.partLength(), "position past the part");
  }
}

// Passes over an Image part in steps, as the installer does.
void skipImage(PackageReader& reader) {
  for (uint32_t left = reader.partLength(); left > 0 && reader;) {
    (void)reader.tellg();
    const std::streamoff step = left < kImageStep ? left : kImageStep;
    reader.seekg(step, std::ios::cur);
    left -= step;
  }
}

// Reads a text part in one of a few ways, chosen by its length: byte by
// byte, with put-backs, seeks and partial reads. Exercises the put-back and
// seek accounting of the hash and the tee.
void readSomeText(PackageReader& reader) {
  char buffer[64];
  switch (reader.partLength() % 4) {
    case 0:
      reader.read(buffer, 3);
      if (reader.gcount() > 0) reader.unget();
      reader.clear();
      reader.read(buffer, sizeof buffer);
      break;
    case 1:
      (void)reader.peek();
      for (int i = 0; i < 5 && reader.get(buffer[0]); ++i) {
      }
      reader.clear();
      reader.unget();
      reader.unget();
      reader.clear();
      (void)reader.get();
      (void)reader.readsome(buffer, sizeof buffer);
      break;
    case 2:
      reader.seekg(reader.partLength() / 2, std::ios::beg);
      reader.clear();
      reader.seekg(1, std::ios::beg);  // backwards: refused while hashing
      reader.clear();
      (void)reader.get();
      break;
    default:
      reader.seekg(-1, std::ios::end);
      reader.clear();
      (void)reader.get();
      reader.unget();
      break;
  }
  reader.clear();
  const std::streamoff position = reader.tellg();
  check(position == -1 || uint64_t(position) <= reader.partLength(), "position past the part");
}

// What a walk met: each part it stopped at, and the digest each signature
// was checked against.
struct Trace {
  std::vector<std::string> parts;
  std::vector<std::string> digests;
};

// Walks every part the way an install from a stream meets them.
Trace walkPackage(const uint8_t* data, size_t size, bool hashing, std::streambuf* tee) {
  Trace trace;
  std::istringstream source(std::string(reinterpret_cast<const char*>(data), size));
  PackageReader reader(source, hashing, tee);
  reader.wantedTypes = wantedTypes();
  InstalledPackage package("");
  reader.nextPart();
  // Every step below leaves at least the part it started on behind.
  while (reader.currentType() != -1) {
    const uint32_t start = reader.partStart();
    trace.parts.push_back(std::to_string(reader.currentType()) + "@" + std::to_string(start) + "+" +
                          std::to_string(reader.partLength()));
    switch (reader.currentType()) {
      case PackageHeader:
      case BundleHeader: {
        InstalledPackage read("");
        if (readPackageInfo(read, reader)) {
          check(!read.name.empty() && read.name.size() <= 16, "package name of a bad length");
          package.name = read.name;
          // readPackageInfo has moved on past the header already.
          check(reader.currentType() == -1 || reader.partStart() > start, "header walk went back");
          continue;
        }
        break;
      }
      case BundleList:
      case Dependencies:
      case Provides:
      case Conflicts: {
        std::vector<DependencyEntry> list;
        readRefList(reader, list);
        check(list.empty() || list.size() * 32 + 2 <= uint64_t(reader.partLength()),
              "more entries than the part holds");
        break;
      }
      case Image:
        skipImage(reader);
        break;
      case Files:
        walkFiles(package, reader);
        break;
      case Signature: {
        const int level = reader.verifySignature();
        check(level >= 0 && level <= 2, "signature level out of range");
        check(!hashing || reader.digestReady(), "signature checked without a digest");
        trace.digests.emplace_back(reinterpret_cast<const char*>(reader.digest()), 32);
        break;
      }
      default:
        readSomeText(reader);
        break;
    }
    reader.nextPart();
  }
  if (tee != nullptr) check(!reader.teeFailed(), "tee refused bytes");
  return trace;
}

std::string temporaryPath;

void makeTemporaryFile() {
  const char* directory = getenv("TMPDIR");
  std::string pattern = std::string(directory && *directory ? directory : "/tmp") + "/package_fuzz.XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) {
    perror("package_fuzz: mkstemp");
    abort();
  }
  close(fd);
  temporaryPath = pattern;
  atexit([] { unlink(temporaryPath.c_str()); });
}

void readFromFile(const uint8_t* data, size_t size) {
  {
    std::ofstream out(temporaryPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), size);
    check(static_cast<bool>(out), "writing the temporary file");
  }
  PackageFile file("");
  if (!readPackageFile(file, temporaryPath)) return;
  check(file.fileSize == size, "file read whole with a size other than its own");
  check(!file.isBundle || !file.members.empty(), "bundle without members");
  for (const Package* member : file.members) check(!member->name.empty(), "member without a name");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeTemporaryFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A tee must not change what is read or hashed, and passing over bytes by
  // seeking must not change which parts are met.
  const Trace hashed = walkPackage(data, size, true, nullptr);
  CheckingSink sink(data, size);
  const Trace teed = walkPackage(data, size, true, &sink);
  const Trace seeking = walkPackage(data, size, false, nullptr);
  check(teed.parts == hashed.parts, "a tee changed the parts met");
  check(teed.digests == hashed.digests, "a tee changed the digests");
  check(seeking.parts == hashed.parts, "seeking instead of reading changed the parts met");
  readFromFile(data, size);
  return 0;
}
