#include "diff_command.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "command_options.h"
#include "package_facts.h"
#include "package_text.h"

namespace {

// The differences found, each one line of output.
using Lines = std::vector<std::string>;

void compareField(Lines& out, const std::string& prefix, const char* label, const std::string& before,
                  const std::string& after) {
  if (before != after) out.push_back(prefix + label + ": " + before + " -> " + after);
}

std::string quoted(const std::string& text) { return "\"" + escapedText(text) + "\""; }

std::string yesNo(bool value) { return value ? "yes" : "no"; }

std::vector<std::string> relationTexts(const std::vector<DependencyEntry>& entries) {
  std::vector<std::string> texts;
  for (const DependencyEntry& entry : entries) texts.push_back(relationText(entry));
  return texts;
}

// Each relation of one side that the other side lacks, the old side's as
// removed and the new side's as added; a relation given twice counts twice.
void compareRelations(Lines& out, const std::string& prefix, const char* label,
                      const std::vector<DependencyEntry>& before, const std::vector<DependencyEntry>& after) {
  std::vector<std::string> removed = relationTexts(before), added = relationTexts(after);
  for (auto it = removed.begin(); it != removed.end();) {
    const auto match = std::find(added.begin(), added.end(), *it);
    if (match == added.end()) {
      ++it;
    } else {
      added.erase(match);
      it = removed.erase(it);
    }
  }
  for (const std::string& text : removed) out.push_back(prefix + label + " removed: " + text);
  for (const std::string& text : added) out.push_back(prefix + label + " added: " + text);
}

// Everything but the build time, which differs between any two builds and
// changes nothing on the device.
void compareMetadata(Lines& out, const std::string& prefix, const Package& a, const Package& b) {
  compareField(out, prefix, "name", escapedText(a.name), escapedText(b.name));
  compareField(out, prefix, "version", versionText(a.version), versionText(b.version));
  compareField(out, prefix, "arch", quoted(a.architecture), quoted(b.architecture));
  compareField(out, prefix, "flags", flagsText(a.flags), flagsText(b.flags));
  compareField(out, prefix, "image", yesNo(a.isImage), yesNo(b.isImage));
  compareField(out, prefix, "note", quoted(a.note), quoted(b.note));
  compareField(out, prefix, "text2", quoted(a.partText2), quoted(b.partText2));
  compareField(out, prefix, "text24", quoted(a.partText24), quoted(b.partText24));
  compareRelations(out, prefix, "depends", a.deps, b.deps);
  compareRelations(out, prefix, "provides", a.provides, b.provides);
  compareRelations(out, prefix, "conflicts", a.conflicts, b.conflicts);
}

std::string modeText(uint16_t mode) {
  char text[16];
  snprintf(text, sizeof text, "%07o", unsigned(mode));
  return text;
}

// "content, 10 -> 12 bytes, mode 0100644 -> 0100755", or "" for the same.
std::string fileChange(const FileEntryInfo& a, const FileEntryInfo& b) {
  Lines changes;
  if (a.size != b.size)
    changes.push_back("content, " + std::to_string(a.size) + " -> " + std::to_string(b.size) + " bytes");
  else if (a.digest != b.digest)
    changes.push_back("content");
  if (a.mode != b.mode) changes.push_back("mode " + modeText(a.mode) + " -> " + modeText(b.mode));
  if (a.hardwareKind != b.hardwareKind)
    changes.push_back("hw " + std::to_string(a.hardwareKind) + " -> " + std::to_string(b.hardwareKind));
  std::string text;
  for (const std::string& change : changes) text += (text.empty() ? "" : ", ") + change;
  return text;
}

// By name, sorted; of two entries for one name the later is what the
// device ends up with.
std::map<std::string, const FileEntryInfo*> filesByName(const PackageContents* contents) {
  std::map<std::string, const FileEntryInfo*> files;
  if (contents)
    for (const FileEntryInfo& entry : contents->files) files[entry.name] = &entry;
  return files;
}

void compareFiles(Lines& out, const std::string& prefix, const PackageContents* a, const PackageContents* b) {
  const auto before = filesByName(a), after = filesByName(b);
  for (const auto& [name, entry] : before)
    if (!after.count(name)) out.push_back(prefix + "file removed: " + escapedText(name));
  for (const auto& [name, entry] : after) {
    const auto old = before.find(name);
    if (old == before.end()) {
      out.push_back(prefix + "file added: " + escapedText(name) + " (" + modeText(entry->mode) + ", " +
                    std::to_string(entry->size) + " bytes)");
    } else if (const std::string change = fileChange(*old->second, *entry); !change.empty()) {
      out.push_back(prefix + "file changed: " + escapedText(name) + ": " + change);
    }
  }
  const auto payload = [](const PackageContents* contents) {
    return contents && contents->filesCutShort ? "cut short" : "whole";
  };
  compareField(out, prefix, "payload", payload(a), payload(b));
}

void comparePackage(Lines& out, const std::string& prefix, const PackageFacts& a, size_t i,
                    const PackageFacts& b, size_t j) {
  compareMetadata(out, prefix, *a.packages()[i], *b.packages()[j]);
  compareFiles(out, prefix, a.contents(i), b.contents(j));
}

std::string nameAndVersion(const Package& package) {
  return escapedText(package.name) + "-" + versionText(package.version);
}

// Members matched by name: those of the old file in its order, removed or
// compared, then those that only the new file has.
void compareMembers(Lines& out, const PackageFacts& a, const PackageFacts& b) {
  const std::vector<const Package*> before = a.packages(), after = b.packages();
  std::map<std::string, size_t> afterByName;
  for (size_t j = 0; j < after.size(); ++j) afterByName.emplace(after[j]->name, j);
  std::vector<bool> matched(after.size(), false);
  for (size_t i = 0; i < before.size(); ++i) {
    const auto found = afterByName.find(before[i]->name);
    if (found == afterByName.end()) {
      out.push_back("member removed: " + nameAndVersion(*before[i]));
      continue;
    }
    matched[found->second] = true;
    comparePackage(out, "member " + escapedText(before[i]->name) + ": ", a, i, b, found->second);
  }
  for (size_t j = 0; j < after.size(); ++j)
    if (!matched[j]) out.push_back("member added: " + nameAndVersion(*after[j]));
}

const char* kindText(const PackageFacts& facts) { return facts.file.isBundle ? "bundle" : "package"; }

Lines differences(const PackageFacts& a, const PackageFacts& b) {
  Lines out;
  if (!a.file.isBundle && !b.file.isBundle) {
    comparePackage(out, "", a, 0, b, 0);
    return out;
  }
  compareField(out, "", "kind", kindText(a), kindText(b));
  compareMetadata(out, "", a.file, b.file);
  compareRelations(out, "", "disabled", a.listing.bundleList, b.listing.bundleList);
  compareMembers(out, a, b);
  return out;
}

}  // namespace

int runDiff(const std::vector<std::string>& args) {
  CommandOptions options;
  std::string error;
  if (!parseCommandOptions(args, {}, options, error) || options.operands.size() != 2) {
    if (!error.empty()) fprintf(stderr, "pkgtool diff: %s\n", error.c_str());
    fprintf(stderr, "usage: pkgtool diff OLD NEW\n");
    return 2;
  }
  PackageFacts a, b;
  if (!readPackageFacts(options.operands[0], a, true) || !readPackageFacts(options.operands[1], b, true))
    return 2;
  const Lines lines = differences(a, b);
  for (const std::string& line : lines) printf("%s\n", line.c_str());
  return lines.empty() ? 0 : 1;
}
