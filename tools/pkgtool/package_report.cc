#include "package_report.h"

#include <cstdio>
#include <ctime>

#include "command_options.h"
#include "part_listing.h"
#include "pkgfile/package_info.h"
#include "pkgfile/package_reader.h"
#include "signature_check.h"

namespace {

// Control characters and bytes above 0x7E as \xNN, so that the output stays
// one line per field.
std::string printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      out += c;
    } else {
      char escaped[5];
      snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out;
}

std::string buildTimeText(uint32_t seconds) {
  const time_t time = seconds;
  struct tm fields;
  char text[32];
  if (!gmtime_r(&time, &fields) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields))
    return std::to_string(seconds);
  return std::string(text) + " UTC (" + std::to_string(seconds) + ")";
}

std::string flagsText(uint32_t flags) {
  char text[16];
  snprintf(text, sizeof text, "0x%08x", flags);
  std::string out = text;
  if (flags & PF_BOOT) out += " boot";
  if (flags & PF_NO_META) out += " no-meta";
  return out;
}

// In the description's own syntax: name [= V | >= V] [<= V] [extra N].
std::string relationText(const DependencyEntry& entry) {
  std::string out = printable(entry.name);
  if (entry.min != 0 && entry.min == entry.max) {
    out += std::string(" = ") + versionText(entry.min);
  } else {
    if (entry.min != 0) out += std::string(" >= ") + versionText(entry.min);
    if (entry.max != 0) out += std::string(" <= ") + versionText(entry.max);
  }
  if (entry.extra != 0) out += " extra " + std::to_string(entry.extra);
  return out;
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
           entry.size, printable(entry.name).c_str());
}

void printMetadata(const Package& package) {
  printField("built", buildTimeText(package.buildTime));
  printField("flags", flagsText(package.flags));
  printField("arch", printable(package.architecture));
  if (!package.note.empty()) printField("note", printable(package.note));
  if (!package.partText2.empty()) printField("text2", printable(package.partText2));
  if (!package.partText24.empty()) printField("text24", printable(package.partText24));
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
  printf("\n%s %s\n", kind, printable(package.displayName()).c_str());
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
    names += (names.empty() ? "" : " ") + printable(entry.name);
  printField("disabled", names);
}

template <typename T>
const T* at(const std::vector<T>& items, size_t index) {
  return index < items.size() ? &items[index] : nullptr;
}

int inspect(const std::string& path) {
  PartListing listing;
  PackageFile file("");
  std::vector<PackageSignature> signatures;
  if (!listParts(path, listing) || !readPackageFile(file, path) ||
      !checkSignatures(path, signatures)) {
    fprintf(stderr, "pkgtool: %s: not a readable package file\n", path.c_str());
    return 2;
  }
  printFileHeader(path, listing);
  printParts(listing);
  if (!file.isBundle) {
    printPackage("package", file, at(listing.packages, 0), at(signatures, 0));
    return 0;
  }
  printPackage("bundle", file, nullptr, nullptr);
  printBundleList(listing.bundleList);
  for (size_t i = 0; i < file.members.size(); ++i)
    printPackage("member", *file.members[i], at(listing.packages, i), at(signatures, i));
  return 0;
}

}  // namespace

int runInspect(const std::vector<std::string>& args) {
  CommandOptions options;
  std::string error;
  if (!parseCommandOptions(args, {}, options, error) || options.operands.size() != 1) {
    if (!error.empty()) fprintf(stderr, "pkgtool inspect: %s\n", error.c_str());
    fprintf(stderr, "usage: pkgtool inspect FILE\n");
    return 2;
  }
  return inspect(options.operands[0]);
}
