#include "package_report.h"

#include <cstdio>
#include <ctime>

#include "command_options.h"
#include "package_facts.h"
#include "package_json.h"
#include "package_text.h"
#include "pkgfile/package_reader.h"

namespace {

std::string buildTimeText(uint32_t seconds) {
  const time_t time = seconds;
  struct tm fields;
  char text[32];
  if (!gmtime_r(&time, &fields) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields))
    return std::to_string(seconds);
  return std::string(text) + " UTC (" + std::to_string(seconds) + ")";
}

void printField(const char* label, const std::string& value) {
  printf("  %-10s %s\n", label, value.c_str());
}

void printRelations(const char* label, const std::vector<DependencyEntry>& entries) {
  for (const DependencyEntry& entry : entries) printField(label, relationText(entry));
}

void printParts(const PartListing& listing) {
  printf("parts\n  %10s %10s  type\n", "offset", "length");
  for (const PartInfo& part : listing.parts)
    printf("  %10u %10u  %2d %s\n", part.offset, part.length, part.type, partTypeName(part.type));
}

void printFiles(const PackageContents& contents) {
  printField("files", std::to_string(contents.files.size()) + " entries" +
                          (contents.filesCutShort ? ", then the payload is cut short" : ""));
  if (contents.files.empty()) return;
  printf("    %-7s %3s %10s  name\n", "mode", "hw", "size");
  for (const FileEntryInfo& entry : contents.files)
    printf("    %07o %3u %10u  %s\n", unsigned(entry.mode), unsigned(entry.hardwareKind),
           entry.size, escapedText(entry.name).c_str());
}

void printMetadata(const Package& package) {
  printField("built", buildTimeText(package.buildTime));
  printField("flags", flagsText(package.flags));
  printField("arch", escapedText(package.architecture));
  if (!package.note.empty()) printField("note", escapedText(package.note));
  if (!package.partText2.empty()) printField("text2", escapedText(package.partText2));
  if (!package.partText24.empty()) printField("text24", escapedText(package.partText24));
  printRelations("depends", package.deps);
  printRelations("provides", package.provides);
  printRelations("conflicts", package.conflicts);
  if (package.isImage) printField("image", "yes");
}

void printSignature(const PackageSignature& signature, bool sha256) {
  std::string text;
  if (!signature.hasSignaturePart) {
    text = "no signature part";
  } else {
    text = std::string(signatureLevelName(signature.reached)) + " (level " +
           std::to_string(signature.reached) + ") over a " + (sha256 ? "SHA-256" : "SHA-1") +
           " digest";
  }
  text += ", level " + std::to_string(signature.required) +
          " required: " + (signature.enough() ? "ok" : "NOT ENOUGH");
  printField("signature", text);
}

void printPackage(const char* kind, const Package& package, const PackageContents* contents,
                  const PackageSignature* signature) {
  printf("\n%s %s\n", kind, escapedText(package.displayName()).c_str());
  printMetadata(package);
  if (contents) printFiles(*contents);
  if (signature) printSignature(*signature, contents && contents->sha256);
}

void printFileHeader(const std::string& path, const PartListing& listing) {
  const bool untracked = listing.magic == PACKAGE_MAGIC_UNTRACKED;
  printf("%s: %spackage file, %u bytes, magic 0x%08x\n", path.c_str(),
         untracked ? "untracked " : "", listing.totalSize, listing.magic);
}

void printBundleList(const std::vector<DependencyEntry>& entries) {
  if (entries.empty()) return;
  std::string names;
  for (const DependencyEntry& entry : entries)
    names += (names.empty() ? "" : " ") + escapedText(entry.name);
  printField("disabled", names);
}

void printReport(const std::string& path, const PackageFacts& facts) {
  printFileHeader(path, facts.listing);
  printParts(facts.listing);
  const PackageFile& file = facts.file;
  if (!file.isBundle) {
    printPackage("package", file, facts.contents(0), facts.signature(0));
    return;
  }
  printPackage("bundle", file, nullptr, nullptr);
  printBundleList(facts.listing.bundleList);
  for (size_t i = 0; i < file.members.size(); ++i)
    printPackage("member", *file.members[i], facts.contents(i), facts.signature(i));
}

}  // namespace

int runInspect(const std::vector<std::string>& args) {
  CommandOptions options;
  std::string error;
  if (!parseCommandOptions(args, {{nullptr, "--json", false}}, options, error) ||
      options.operands.size() != 1) {
    if (!error.empty()) fprintf(stderr, "pkgtool inspect: %s\n", error.c_str());
    fprintf(stderr, "usage: pkgtool inspect [--json] FILE\n");
    return 2;
  }
  const std::string& path = options.operands[0];
  PackageFacts facts;
  if (!readPackageFacts(path, facts)) return 2;
  if (options.has("--json"))
    fputs(packageJson(path, facts).c_str(), stdout);
  else
    printReport(path, facts);
  return 0;
}
