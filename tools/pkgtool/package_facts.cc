#include "package_facts.h"

#include <cstdio>

#include "pkgfile/package_info.h"

namespace {

template <typename T>
const T* at(const std::vector<T>& items, size_t index) {
  return index < items.size() ? &items[index] : nullptr;
}

}  // namespace

std::vector<const Package*> PackageFacts::packages() const {
  if (!file.isBundle) return {&file};
  return std::vector<const Package*>(file.members.begin(), file.members.end());
}

const PackageContents* PackageFacts::contents(size_t index) const { return at(listing.packages, index); }

const PackageSignature* PackageFacts::signature(size_t index) const { return at(signatures, index); }

bool readPackageFacts(const std::string& path, PackageFacts& facts, bool digests) {
  if (listParts(path, facts.listing, digests) && readPackageFile(facts.file, path) &&
      checkSignatures(path, facts.signatures))
    return true;
  fprintf(stderr, "pkgtool: %s: not a readable package file\n", path.c_str());
  return false;
}
