#include "package_json.h"

#include <nlohmann/json.hpp>

#include "pkgfile/package_reader.h"

// Keys in the order written, which is the order README.md lists them in.
using json = nlohmann::ordered_json;

namespace {

json versionJson(Version version) { return version == 0 ? json(nullptr) : json(versionText(version)); }

json relationsJson(const std::vector<DependencyEntry>& entries) {
  json list = json::array();
  for (const DependencyEntry& entry : entries)
    list.push_back({{"name", entry.name},
                    {"min", versionJson(entry.min)},
                    {"max", versionJson(entry.max)},
                    {"extra", entry.extra}});
  return list;
}

json metadataJson(const Package& package) {
  return {{"name", package.name},
          {"version", versionText(package.version)},
          {"built", package.buildTime},
          {"flags", package.flags},
          {"boot", (package.flags & PF_BOOT) != 0},
          {"no_meta", (package.flags & PF_NO_META) != 0},
          {"arch", package.architecture},
          {"note", package.note},
          {"text2", package.partText2},
          {"text24", package.partText24},
          {"image", package.isImage},
          {"depends", relationsJson(package.deps)},
          {"provides", relationsJson(package.provides)},
          {"conflicts", relationsJson(package.conflicts)}};
}

void addFiles(json& out, const PackageContents& contents) {
  json files = json::array();
  for (const FileEntryInfo& entry : contents.files)
    files.push_back({{"name", entry.name}, {"mode", entry.mode}, {"hw", entry.hardwareKind}, {"size", entry.size}});
  out["files"] = files;
  out["files_cut_short"] = contents.filesCutShort;
}

void addSignature(json& out, const PackageSignature& signature, bool sha256) {
  out["signature"] = {{"present", signature.hasSignaturePart},
                      {"level", signature.reached},
                      {"kind", signatureLevelName(signature.reached)},
                      {"digest", sha256 ? "SHA-256" : "SHA-1"},
                      {"required", signature.required},
                      {"enough", signature.enough()}};
}

json packageJson(const Package& package, const PackageContents* contents, const PackageSignature* signature) {
  json out = metadataJson(package);
  if (contents) addFiles(out, *contents);
  if (signature) addSignature(out, *signature, contents && contents->sha256);
  return out;
}

json partsJson(const PartListing& listing) {
  json parts = json::array();
  for (const PartInfo& part : listing.parts)
    parts.push_back(
        {{"offset", part.offset}, {"length", part.length}, {"type", part.type}, {"name", partTypeName(part.type)}});
  return parts;
}

}  // namespace

std::string packageJson(const std::string& path, const PackageFacts& facts) {
  const PackageFile& file = facts.file;
  json document = {{"file", path},
                   {"size", facts.listing.totalSize},
                   {"magic", facts.listing.magic},
                   {"untracked", facts.listing.magic == PACKAGE_MAGIC_UNTRACKED},
                   {"parts", partsJson(facts.listing)},
                   {"kind", file.isBundle ? "bundle" : "package"}};
  json members = json::array();
  if (file.isBundle) {
    document["package"] = packageJson(file, nullptr, nullptr);
    json disabled = json::array();
    for (const DependencyEntry& entry : facts.listing.bundleList) disabled.push_back(entry.name);
    document["package"]["disabled"] = disabled;
    for (size_t i = 0; i < file.members.size(); ++i)
      members.push_back(packageJson(*file.members[i], facts.contents(i), facts.signature(i)));
  } else {
    document["package"] = packageJson(file, facts.contents(0), facts.signature(0));
  }
  document["members"] = members;
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
