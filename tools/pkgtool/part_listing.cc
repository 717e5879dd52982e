#include "part_listing.h"

#include "platform/hash.h"
#include "pkgfile/file_entry.h"
#include "pkgfile/file_source.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"

namespace {

constexpr size_t kPartHeaderSize = 6;

// Reads the entry's data from the payload into its digest; false when the
// payload ends first.
bool digestData(InflateStream& payload, FileEntryInfo& entry) {
  SHA256 hash;
  for (uint32_t left = entry.size; left > 0;) {
    const char* data = nullptr;
    const size_t taken = payload.take(data, left);
    if (taken == 0) return false;
    hash.update(data, taken);
    left -= uint32_t(taken);
  }
  uint8_t digest[32];
  hash.final(digest);
  static const char kHex[] = "0123456789abcdef";
  for (const uint8_t byte : digest) {
    entry.digest += kHex[byte >> 4];
    entry.digest += kHex[byte & 15];
  }
  return true;
}

// Steps over the entry's data, or reads it into its digest.
bool passData(InflateStream& payload, FileEntryInfo& entry, bool digests) {
  if (digests) return digestData(payload, entry);
  return bool(payload.seekg(entry.size, std::ios_base::cur));
}

// The entries of the Files part the reader stands on, read the way the
// installer unpacks them: the payload ends where an entry header cannot be
// read whole, and a damaged stream is cut short there.
void listFiles(PackageReader& reader, PackageContents& contents, bool digests) {
  InflateStream payload(reader);
  for (;;) {
    uint8_t bytes[FILE_ENTRY_HEADER_SIZE];
    if (!payload.read(reinterpret_cast<char*>(bytes), sizeof bytes)) {
      contents.filesCutShort = payload.damaged();
      return;
    }
    const FileEntryHeader header = decodeFileEntryHeader(bytes);
    FileEntryInfo entry;
    entry.mode = header.mode;
    entry.hardwareKind = header.hardwareKind;
    entry.size = header.size;
    entry.name.resize(header.nameLength);
    if (!payload.read(&entry.name[0], entry.name.size())) {
      contents.filesCutShort = true;
      return;
    }
    const bool whole = passData(payload, entry, digests);
    contents.files.push_back(entry);
    if (!whole) {
      contents.filesCutShort = true;
      return;
    }
  }
}

std::vector<uint32_t> everyPartType() {
  std::vector<uint32_t> types(0x10000);
  for (uint32_t type = 0; type < types.size(); ++type) types[type] = type;
  return types;
}

void takePart(PackageReader& reader, PartListing& listing, bool& markerSeen, bool digests) {
  const int type = reader.currentType();
  listing.parts.push_back(
      {reader.partStart() - uint32_t(kPartHeaderSize), type, reader.partLength()});
  switch (type) {
    case Sha256Marker:
      markerSeen = true;
      break;
    case PackageHeader:
      listing.packages.emplace_back();
      break;
    case BundleList:
      // A list cut short keeps the entries read; the walk goes on.
      if (!readRefList(reader, listing.bundleList)) reader.clear();
      break;
    case Files:
      if (!listing.packages.empty()) listFiles(reader, listing.packages.back(), digests);
      break;
    case Signature:
      if (!listing.packages.empty()) listing.packages.back().sha256 = markerSeen;
      break;
    default:
      break;
  }
}

}  // namespace

bool listParts(const std::string& path, PartListing& listing, bool digests) {
  listing = PartListing();
  FileSource input;
  input.open(path);
  PackageReader reader(&input, false, nullptr);
  listing.magic = reader.magic();
  listing.totalSize = reader.totalSize();
  if (reader.bad()) return false;
  reader.wantedTypes = everyPartType();
  bool markerSeen = false;
  while (reader.nextPart() != -1) takePart(reader, listing, markerSeen, digests);
  return true;
}

const char* partTypeName(int type) {
  switch (type) {
    case PackageHeader:
      return "package header";
    case Text2:
      return "text 2";
    case Dependencies:
      return "dependencies";
    case Files:
      return "files";
    case Signature:
      return "signature";
    case Architecture:
      return "architecture";
    case Conflicts:
      return "conflicts";
    case BundleHeader:
      return "bundle header";
    case Provides:
      return "provides";
    case BundleList:
      return "bundle list";
    case Image:
      return "image";
    case Note:
      return "note";
    case Text24:
      return "text 24";
    case Sha256Marker:
      return "SHA-256 marker";
  }
  return "unknown";
}
