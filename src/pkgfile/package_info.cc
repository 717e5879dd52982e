#include "pkgfile/package_info.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "pkgfile/file_source.h"
#include "pkgfile/little_endian.h"
#include "pkgfile/part_type.h"

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kNameSize = 16;
constexpr size_t kRefEntrySize = 32;
// Text parts are read in pieces so that a declared length never makes the
// reader hold more memory than the input actually delivers.
constexpr size_t kTextChunk = 16384;

bool readBytes(PackageReader& reader, uint8_t* buffer, size_t count) {
  return static_cast<bool>(reader.read(reinterpret_cast<char*>(buffer), count));
}

// Bytes up to the first NUL, or all 16 when there is none.
std::string nameField(const uint8_t* bytes) {
  const uint8_t* end = static_cast<const uint8_t*>(memchr(bytes, 0, kNameSize));
  return std::string(reinterpret_cast<const char*>(bytes), end ? end - bytes : kNameSize);
}

// A package's name becomes a directory name under /flash/var/pdb/ and
// /flash/x/, and a word of the database's text files: it must be a single
// path component and hold no blanks or control characters.
bool usableAsPackageName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return c == '/' || byte <= ' ' || byte == 0x7F;
  });
}

// A relation's name is written as a word of the database's relation lists
// (name, bounds, extra): it must not be empty nor hold white space, or the
// list would read back as another one, or as damaged.
bool usableAsRelationName(const std::string& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

// The whole data of the current part; when the input ends early, the bytes
// that arrived.
std::string readPartText(PackageReader& reader) {
  std::string text;
  uint32_t left = reader.partLength();
  while (left > 0) {
    const size_t chunk = std::min<uint32_t>(left, kTextChunk);
    const size_t kept = text.size();
    text.resize(kept + chunk);
    reader.read(&text[kept], chunk);
    const size_t got = reader.gcount();
    text.resize(kept + got);
    if (got < chunk) break;
    left -= got;
  }
  return text;
}

DependencyEntry refEntry(const uint8_t* bytes) {
  DependencyEntry entry;
  entry.name = nameField(bytes);
  entry.min = readLe32(bytes + 16);
  entry.max = readLe32(bytes + 24);
  entry.extra = static_cast<int32_t>(readLe32(bytes + 28));
  return entry;
}

bool readHeaderPart(Package& package, PackageReader& reader) {
  uint8_t header[kHeaderSize];
  if (!readBytes(reader, header, kHeaderSize)) return false;
  const std::string name = nameField(header);
  if (!usableAsPackageName(name)) return false;
  package.name = name;
  package.version = readLe32(header + 16);
  package.buildTime = readLe32(header + 20);

  uint8_t flags[4];
  if (readBytes(reader, flags, sizeof flags)) {
    package.flags = readLe32(flags);
  } else {
    reader.clear();
    package.flags = 0;
  }
  return true;
}

// Takes the current part as text when it has the given type.
void takeText(PackageReader& reader, int type, std::string& field) {
  if (reader.currentType() != type) return;
  field = readPartText(reader);
  reader.nextPart();
}

// Takes the current part as a reference list when it has the given type;
// false when it is cut short or names what no list can hold. The entries
// before the failure are kept.
bool takeRefList(PackageReader& reader, int type, std::vector<DependencyEntry>& list) {
  if (reader.currentType() != type) return true;
  std::vector<DependencyEntry> read;
  const bool whole = readRefList(reader, read);
  for (const DependencyEntry& entry : read) {
    if (!usableAsRelationName(entry.name)) return false;
    list.push_back(entry);
  }
  if (!whole) return false;
  reader.nextPart();
  return true;
}

}  // namespace

bool readRefList(PackageReader& reader, std::vector<DependencyEntry>& list) {
  uint8_t countBytes[2];
  if (!readBytes(reader, countBytes, sizeof countBytes)) return false;
  const unsigned count = readLe16(countBytes);
  for (unsigned i = 0; i < count; ++i) {
    uint8_t entry[kRefEntrySize];
    if (!readBytes(reader, entry, kRefEntrySize)) return false;
    list.push_back(refEntry(entry));
  }
  return true;
}

bool readPackageInfo(Package& package, PackageReader& reader) {
  const int type = reader.currentType();
  if (type != PackageHeader && type != BundleHeader) return false;
  if (!readHeaderPart(package, reader)) return false;
  package.isBundle = type == BundleHeader;
  reader.nextPart();

  // The metadata parts are taken only in this order; one out of order keeps
  // its field's default.
  takeText(reader, Text24, package.partText24);
  if (reader.currentType() == Architecture)
    takeText(reader, Architecture, package.architecture);
  else
    package.architecture = "i386";
  takeText(reader, Text2, package.partText2);
  takeText(reader, Note, package.note);
  if (!takeRefList(reader, Dependencies, package.deps)) return false;
  if (!takeRefList(reader, Provides, package.provides)) return false;
  if (!takeRefList(reader, Conflicts, package.conflicts)) return false;
  if (reader.currentType() == Image) package.isImage = true;
  return true;
}

bool readPackageFile(PackageFile& file, const std::string& path) {
  file.path = file.sourcePath = path;
  FileSource input;
  input.open(path);
  // Only the metadata is wanted: without hashing the reader seeks past the
  // payload instead of reading it. Signatures are checked on a reading of
  // their own, when the file is installed or verified.
  PackageReader reader(&input, false, nullptr);
  file.fileSize = reader.totalSize();
  struct stat status;
  if (stat(path.c_str(), &status) == 0 && uint64_t(status.st_size) != file.fileSize) return false;
  file.isUntracked = reader.isUntracked();

  reader.wantedTypes = PARTS_DIRECTORY_SCAN;
  reader.nextPart();
  file.isBundle = reader.currentType() == BundleHeader;
  if (!readPackageInfo(file, reader)) return false;
  if (!file.isBundle) return true;

  if (reader.currentType() == Image) reader.nextPart();
  while (reader.currentType() == PackageHeader) {
    std::unique_ptr<Package> member(new Package(""));
    if (!readPackageInfo(*member, reader)) return false;
    file.members.push_back(member.release());
    if (reader.currentType() == Image) reader.nextPart();
  }
  return !file.members.empty();
}
