#include "signature_check.h"

#include "pkgfile/file_source.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"
#include "pkgfile/part_type.h"
#include "pkgfile/verification.h"

namespace {

// From the first part after a package's metadata up to the part after its
// Signature part, as the install of one package goes.
bool checkOne(PackageReader& reader, std::vector<PackageSignature>& results) {
  Package package("");
  if (!readPackageInfo(package, reader)) return false;
  PackageSignature result;
  result.name = package.name;
  result.version = package.version;
  result.required = requiredSignatureLevel(package.name, package.version);
  if (reader.currentType() == Image) reader.nextPart();
  if (reader.currentType() == Files) reader.nextPart();
  if (reader.currentType() == Signature) {
    result.hasSignaturePart = true;
    result.reached = reader.verifySignature();
    reader.nextPart();
  }
  results.push_back(result);
  return true;
}

bool walk(PackageReader& reader, std::vector<PackageSignature>& results) {
  reader.wantedTypes = PARTS_STREAM_INSTALL;
  if (reader.nextPart() != BundleHeader) return checkOne(reader, results);
  Package bundle("");
  if (!readPackageInfo(bundle, reader)) return false;
  if (reader.currentType() == Image) reader.nextPart();
  if (reader.currentType() == BundleList) reader.nextPart();
  while (reader.currentType() == PackageHeader)
    if (!checkOne(reader, results)) return false;
  return !results.empty();
}

}  // namespace

bool checkSignatures(const std::string& path, std::vector<PackageSignature>& results) {
  results.clear();
  PackageFile file("");
  if (!readPackageFile(file, path)) return false;
  FileSource input;
  input.open(path);
  PackageReader reader(&input, true, nullptr);
  return walk(reader, results);
}

const char* signatureLevelName(int level) {
  switch (level) {
    case 0:
      return "none";
    case 1:
      return "legacy";
    case 2:
      return "EdDSA";
  }
  return "?";
}
