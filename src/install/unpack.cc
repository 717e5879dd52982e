#include "install/unpack.h"

#include <sys/statfs.h>

#include <climits>
#include <cstring>

#include "changes/manifest_file.h"
#include "db/database.h"
#include "pkg/console.h"
#include "pkg/paths.h"
#include "pkgfile/file_entry.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/verification.h"
#include "platform/boot_image.h"
#include "platform/guarded_path.h"
#include "platform/processor.h"

namespace {

const std::streamoff kImageStep = 4096;

std::string progressLabel(const InstalledPackage& package) {
  std::string label = "installing ";
  if (package.disabled && package.bundle.name.empty()) label += " (disabled) ";
  return label + package.installationDisplayName();
}

void showReaderProgress(PackageDb& db, const std::string& label, PackageReader& reader) {
  const std::streamoff inPart = reader.tellg();
  showProgress(db, label, uint64_t(reader.partStart()) + (inPart > 0 ? inPart : 0), reader.totalSize());
}

void showReaderProgress(PackageDb& db, const InstalledPackage& package, PackageReader& reader) {
  showReaderProgress(db, progressLabel(package), reader);
}

bool wantedHere(const FileEntryHeader& header) {
  if (!header.isRegularFile()) return false;
  return header.hardwareKind == 0 || header.hardwareKind == flashKind();
}

// The longest name the flash's file system takes.
size_t flashNameLimit() {
  struct statfs fs;
  return statfs(PATH_FLASH, &fs) == 0 && fs.f_namelen > 0 ? size_t(fs.f_namelen) : NAME_MAX;
}

// Whether the flash can hold a file at the target: no name in its path
// longer than the file system takes, and the whole path, with its
// terminator, within PATH_MAX. Such a file could never be put in place.
bool flashTakes(const std::string& target, size_t nameLimit) {
  if (target.size() >= PATH_MAX) return false;
  for (size_t start = 0; start <= target.size();) {
    size_t end = target.find('/', start);
    if (end == std::string::npos) end = target.size();
    if (end - start > nameLimit) return false;
    start = end + 1;
  }
  return true;
}

// An entry stays below where the package's files go, and outside the
// package database; no link that is there already leads it elsewhere. A
// saved manifest must be able to name it, or a later --commit would list
// the file without placing it.
bool writesBelowFlash(const std::string& entryName, const std::string& target) {
  return staysBelow(entryName) && manifestCanName(target) && !inDatabase(target.c_str()) &&
         !leadsThroughLink(target);
}

// Copies one entry's data into its staged file.
// The bytes go from where they were decompressed straight to the file.
InstallFailure copyEntry(InstalledPackage& package, Manifest& manifest, InflateStream& payload,
                         const FileEntryHeader& header, const std::string& entryName,
                         const std::string& target) {
  StagedFile out = createStagedFile(manifest, target, header.size, header.mode);
  if (!out) return InstallFailure::writeFailed(entryName.c_str());
  package.files.insert(target.substr(std::strlen(PATH_FLASH)));
  for (uint32_t left = header.size; left > 0;) {
    const char* data = nullptr;
    const size_t got = payload.take(data, left);
    if (got == 0) return InstallFailure::brokenPackage();
    if (!out.write(data, std::streamsize(got))) return InstallFailure::writeFailed(entryName.c_str());
    left -= uint32_t(got);
  }
  out.close();
  if (!out) return InstallFailure::writeFailed(entryName.c_str());
  return InstallFailure();
}

// The payload ends where an entry header cannot be read whole. A stream
// that was damaged or cut, its checksum included, refuses the package:
// what it handed out may differ from what was packaged.
InstallFailure endOfPayload(const InflateStream& payload) {
  return payload.damaged() ? InstallFailure::brokenPackage() : InstallFailure();
}

// Unpacks the entries of the Files part the reader stands on into staged
// files and adds their targets to the package's files.
InstallFailure unpackFiles(const InstallContext& context, InstalledPackage& package,
                           PackageReader& reader) {
  InflateStream payload(reader);
  const size_t nameLimit = flashNameLimit();
  const std::string label = progressLabel(package);
  for (;;) {
    if (!payload) return endOfPayload(payload);
    uint8_t bytes[FILE_ENTRY_HEADER_SIZE];
    payload.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (static_cast<size_t>(payload.gcount()) != sizeof bytes) return endOfPayload(payload);
    const FileEntryHeader header = decodeFileEntryHeader(bytes);
    std::string entryName(header.nameLength, '\0');
    payload.read(&entryName[0], header.nameLength);
    if (static_cast<size_t>(payload.gcount()) != header.nameLength)
      return InstallFailure::brokenPackage();
    if (!wantedHere(header)) {
      payload.seekg(header.size, std::ios::cur);
      continue;
    }
    // A signed package is trusted for its content, not for where it writes;
    // the names of entries that are passed over write nothing.
    const std::string target = entryTarget(package, entryName);
    if (!writesBelowFlash(entryName, target) || !flashTakes(target, nameLimit))
      return InstallFailure::brokenPackage();
    const InstallFailure failure = copyEntry(package, context.manifest, payload, header, entryName, target);
    if (failure.failed()) return failure;
    showReaderProgress(context.db, label, reader);
  }
}

void skipImage(PackageDb& db, const InstalledPackage& package, PackageReader& reader) {
  for (uint32_t left = reader.partLength(); left > 0 && reader;) {
    showReaderProgress(db, package, reader);
    const std::streamoff step = left < kImageStep ? left : kImageStep;
    reader.seekg(step, std::ios::cur);
    left -= step;
  }
  reader.nextPart();
}

// After the Signature part of a package on its own only an architecture
// part and an empty dependency list may follow.
bool onlyTrailerFollows(PackageReader& reader) {
  if (reader.currentType() == Architecture) reader.nextPart();
  if (reader.currentType() == Dependencies && reader.partLength() == 0) reader.nextPart();
  return reader.currentType() == -1;
}

}  // namespace

std::string entryTarget(const InstalledPackage& package, const std::string& entryName) {
  std::string target = package.disabled ? PATH_DISABLED_DIR + package.name : PATH_FLASH;
  if (entryName.empty() || entryName[0] != '/') target += "/";
  return target + entryName;
}

InstallFailure installFromReader(const InstallContext& context, InstalledPackage& package,
                                 PackageReader& reader) {
  PackageDb& db = context.db;
  Manifest& manifest = context.manifest;
  showReaderProgress(db, package, reader);
  if (!reader.isUntracked() && !reclaimDirectory(manifest, package.dbDir()))
    return InstallFailure::directoryTaken();
  if (reader.currentType() == Image) skipImage(db, package, reader);
  if (reader.currentType() == Files) {
    const bool bootImageOnly = (package.flags & PF_BOOT) && bootImageRequested();
    if (!bootImageOnly) {
      const InstallFailure failure = unpackFiles(context, package, reader);
      if (failure.failed()) return failure;
    }
    reader.nextPart();
  }
  const int needed = requiredSignatureLevel(package.name, package.version);
  if (reader.currentType() != Signature || reader.verifySignature() < needed)
    return InstallFailure::brokenPackage();
  reader.nextPart();
  if (package.bundle.name.empty() && !onlyTrailerFollows(reader))
    return InstallFailure::brokenPackage();
  if (!reader.isUntracked()) {
    const InstallFailure failure = savePackage(package, manifest);
    if (failure.failed()) return failure;
  }
  if ((package.flags & PF_BOOT) || package.name == "branding")
    createStagedFile(manifest, PATH_UPGRADED, 1, 0).close();
  if (package.bundle.name.empty()) {
    showStatus(db, "");
    printNotice(db, "installed %s%s", package.disabled ? "(disabled) " : "",
                package.displayName().c_str());
  }
  return InstallFailure();
}
