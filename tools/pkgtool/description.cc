#include "description.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "version_parse.h"

namespace {

constexpr size_t kMaxNameLength = 16;
constexpr size_t kMaxListEntries = 65535;

struct Context {
  Context(PackageDescription& d, std::string dir, bool member, uint32_t buildTime, std::string& e)
      : description(d),
        directory(std::move(dir)),
        isMember(member),
        defaultBuildTime(buildTime),
        error(e) {}

  PackageDescription& description;
  std::string directory;  // of the description file, for relative paths
  bool isMember;
  uint32_t defaultBuildTime;
  std::string& error;
  int line = 0;
  std::set<std::string> seen;  // directives that may appear once
  bool hasVersion = false;
};

bool readDescriptionAs(const std::string& path, bool isMember, uint32_t defaultBuildTime,
                       PackageDescription& description, std::string& error);

// "file:line: text", or "file: text" for the description as a whole.
bool fail(Context& context, const std::string& text) {
  context.error = context.description.path + ":" +
                  (context.line > 0 ? std::to_string(context.line) + ": " : " ") + text;
  return false;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> result;
  std::string word;
  while (in >> word) result.push_back(word);
  return result;
}

std::string trim(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

std::string resolvePath(const Context& context, const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  return context.directory + "/" + path;
}

// Decimal, or hexadecimal after "0x"; at most max.
bool parseUnsigned(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  const bool hex = text.compare(0, 2, "0x") == 0;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || end == text.c_str() || parsed > max) return false;
  value = parsed;
  return true;
}

bool parseSigned32(const std::string& text, int32_t& value) {
  const bool negative = !text.empty() && text[0] == '-';
  uint64_t magnitude;
  if (!parseUnsigned(negative ? text.substr(1) : text, negative ? 0x80000000u : 0x7FFFFFFFu,
                     magnitude))
    return false;
  value = negative ? int32_t(-int64_t(magnitude)) : int32_t(magnitude);
  return true;
}

// Seconds since 1970 (UTC), "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" (UTC).
bool parseBuildTime(const std::string& text, uint32_t& time) {
  uint64_t seconds;
  if (parseUnsigned(text, 0xFFFFFFFFu, seconds)) {
    time = uint32_t(seconds);
    return true;
  }
  struct tm fields = {};
  const char* end = strptime(text.c_str(), "%Y-%m-%d", &fields);
  if (end && *end == ' ') end = strptime(end + 1, "%H:%M:%S", &fields);
  if (!end || *end != '\0') return false;
  const int64_t value = timegm(&fields);
  if (value < 0 || value > 0xFFFFFFFFll) return false;
  time = uint32_t(value);
  return true;
}

bool setName(Context& context, const std::string& value) {
  if (!validPackageName(value))
    return fail(context, "name: '" + value +
                             "' is not a package name (1 to 16 bytes, no '/', "
                             "blanks or control characters)");
  context.description.name = value;
  return true;
}

bool setVersion(Context& context, const std::string& value) {
  if (!parseVersion(value, context.description.version))
    return fail(context, "version: '" + value + "' is not a version (such as 2.5.7, 2.5beta3)");
  context.hasVersion = true;
  return true;
}

bool setBuilt(Context& context, const std::string& value) {
  if (!parseBuildTime(value, context.description.buildTime))
    return fail(context,
                "built: '" + value + "' is neither seconds since 1970 nor YYYY-MM-DD [HH:MM:SS]");
  context.description.buildTimeGiven = true;
  return true;
}

bool setFlags(Context& context, const std::string& value) {
  for (const std::string& word : words(value)) {
    uint64_t number;
    if (word == "boot")
      context.description.flags |= PF_BOOT;
    else if (word == "no-meta")
      context.description.flags |= PF_NO_META;
    else if (parseUnsigned(word, 0xFFFFFFFFu, number))
      context.description.flags |= uint32_t(number);
    else
      return fail(context, "flags: '" + word + "' is neither boot, no-meta nor a number");
  }
  return true;
}

bool setArchitecture(Context& context, const std::string& value) {
  context.description.architecture = value;
  return true;
}

bool setNote(Context& context, const std::string& value) {
  context.description.note = value;
  return true;
}

bool setText2(Context& context, const std::string& value) {
  context.description.text2 = value;
  return true;
}

bool setText24(Context& context, const std::string& value) {
  context.description.text24 = value;
  return true;
}

// NAME [>= VERSION] [<= VERSION] [= VERSION] [extra NUMBER]
bool parseRelation(Context& context, const std::string& key, const std::string& value,
                   DependencyEntry& entry) {
  const std::vector<std::string> items = words(value);
  if (items.empty() || !validPackageName(items[0]))
    return fail(context, key + ": a package name (1 to 16 bytes) must come first");
  entry.name = items[0];
  for (size_t i = 1; i < items.size(); i += 2) {
    const std::string& op = items[i];
    if (i + 1 >= items.size()) return fail(context, key + ": '" + op + "' needs a value");
    const std::string& operand = items[i + 1];
    Version version = 0;
    if (op == "extra") {
      if (!parseSigned32(operand, entry.extra))
        return fail(context, key + ": extra '" + operand + "' is not a 32-bit signed number");
      continue;
    }
    if (op != ">=" && op != "<=" && op != "=")
      return fail(context, key + ": '" + op + "' is none of >=, <=, =, extra");
    if (!parseVersion(operand, version))
      return fail(context, key + ": '" + operand + "' is not a version");
    if (op != "<=") entry.min = version;
    if (op != ">=") entry.max = version;
  }
  if (entry.min != 0 && entry.max != 0 && entry.min > entry.max)
    return fail(context, key + ": the lowest version is above the highest");
  return true;
}

bool addRelation(Context& context, const std::string& key, const std::string& value,
                 std::vector<DependencyEntry>& list) {
  DependencyEntry entry;
  if (!parseRelation(context, key, value, entry)) return false;
  if (list.size() >= kMaxListEntries) return fail(context, key + ": too many entries");
  list.push_back(entry);
  return true;
}

bool addDependency(Context& context, const std::string& value) {
  return addRelation(context, "depends", value, context.description.deps);
}

bool addProvides(Context& context, const std::string& value) {
  return addRelation(context, "provides", value, context.description.provides);
}

bool addConflict(Context& context, const std::string& value) {
  return addRelation(context, "conflicts", value, context.description.conflicts);
}

bool setImage(Context& context, const std::string& value) {
  context.description.image = resolvePath(context, value);
  return true;
}

bool setFiles(Context& context, const std::string& value) {
  if (value.empty()) return fail(context, "files: a directory must follow");
  context.description.filesDir = resolvePath(context, value);
  return true;
}

// "etc/x/" and "/etc/x" name the entry etc/x; "." and "/" the whole tree.
std::string treePath(const std::string& path) {
  const size_t start = path.find_first_not_of('/');
  if (start == std::string::npos) return "";
  std::string result = path.substr(start, path.find_last_not_of('/') - start + 1);
  return result == "." ? "" : result;
}

bool addHardwareRule(Context& context, const std::string& value) {
  const size_t space = value.find_first_of(" \t");
  uint64_t kind;
  if (space == std::string::npos || !parseUnsigned(value.substr(0, space), 255, kind))
    return fail(context, "hw: expected KIND PATH, KIND from 0 to 255");
  const std::string path = trim(value.substr(space));
  if (path.empty()) return fail(context, "hw: a path must follow the kind");
  context.description.hardwareRules.push_back({treePath(path), uint8_t(kind), context.line});
  return true;
}

bool setUntracked(Context& context, const std::string& value) {
  if (!value.empty()) return fail(context, "untracked takes no value");
  if (context.isMember)
    return fail(context, "untracked: a member cannot be untracked, only the whole bundle file");
  context.description.untracked = true;
  return true;
}

bool setSha256(Context& context, const std::string& value) {
  if (!value.empty()) return fail(context, "sha256 takes no value");
  context.description.sha256 = true;
  return true;
}

bool setSignature(Context& context, const std::string& value) {
  SigningMode mode;
  if (!parseSigningMode(value, mode))
    return fail(context, "signature: '" + value + "' is none of none, legacy, eddsa, both");
  context.description.signing = mode;
  return true;
}

bool addMember(Context& context, const std::string& value) {
  if (context.isMember) return fail(context, "member: a bundle member cannot have members");
  if (value.empty()) return fail(context, "member: a description file must follow");
  PackageDescription member;
  std::string memberError;
  if (!readDescriptionAs(resolvePath(context, value), true, context.defaultBuildTime, member,
                         memberError))
    return fail(context, "member: " + memberError);
  context.description.members.push_back(std::move(member));
  return true;
}

bool addDisabled(Context& context, const std::string& value) {
  for (const std::string& name : words(value)) {
    if (!validPackageName(name))
      return fail(context, "disabled: '" + name + "' is not a package name");
    if (context.description.bundleList.size() >= kMaxListEntries)
      return fail(context, "disabled: too many entries");
    context.description.bundleList.push_back(DependencyEntry{name, 0, 0, 0});
  }
  return true;
}

struct Directive {
  const char* key;
  bool once;
  bool (*apply)(Context&, const std::string&);
};

const Directive kDirectives[] = {
    {"name", true, setName},           {"version", true, setVersion},
    {"built", true, setBuilt},         {"flags", true, setFlags},
    {"arch", true, setArchitecture},   {"note", true, setNote},
    {"text2", true, setText2},         {"text24", true, setText24},
    {"depends", false, addDependency}, {"provides", false, addProvides},
    {"conflicts", false, addConflict}, {"image", true, setImage},
    {"files", true, setFiles},         {"hw", false, addHardwareRule},
    {"untracked", true, setUntracked}, {"sha256", true, setSha256},
    {"signature", true, setSignature}, {"member", false, addMember},
    {"disabled", false, addDisabled},
};

bool applyLine(Context& context, const std::string& text) {
  const std::string line = trim(text);
  if (line.empty() || line[0] == '#') return true;
  const size_t keyEnd = line.find_first_of(" \t");
  const std::string key = line.substr(0, keyEnd);
  const std::string value = keyEnd == std::string::npos ? "" : trim(line.substr(keyEnd));
  for (const Directive& directive : kDirectives) {
    if (key != directive.key) continue;
    if (directive.once && !context.seen.insert(key).second)
      return fail(context, key + " given twice");
    return directive.apply(context, value);
  }
  return fail(context, "unknown directive '" + key + "'");
}

bool checkBundle(Context& context) {
  PackageDescription& d = context.description;
  if (!d.deps.empty() || !d.provides.empty() || !d.conflicts.empty())
    return fail(context, "a bundle carries no depends, provides or conflicts; its members do");
  if (d.filesDir || !d.hardwareRules.empty())
    return fail(context, "a bundle has no files of its own; its members do");
  std::set<std::string> names;
  for (PackageDescription& member : d.members) {
    if (!member.buildTimeGiven) member.buildTime = d.buildTime;
    if (member.name == d.name)
      return fail(context, "member " + member.path + " is named like the bundle");
    if (!names.insert(member.name).second)
      return fail(context, "two members are named " + member.name);
  }
  return true;
}

bool checkComplete(Context& context) {
  const PackageDescription& d = context.description;
  context.line = 0;
  if (d.name.empty()) return fail(context, "no name");
  if (!context.hasVersion) return fail(context, "no version");
  if (!d.buildTimeGiven) context.description.buildTime = context.defaultBuildTime;
  if (d.isBundle()) return checkBundle(context);
  if (!d.bundleList.empty()) return fail(context, "disabled: only a bundle (with members) has it");
  if (!d.hardwareRules.empty() && !d.filesDir) return fail(context, "hw: the package has no files");
  return true;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool readDescriptionAs(const std::string& path, bool isMember, uint32_t defaultBuildTime,
                       PackageDescription& description, std::string& error) {
  description = PackageDescription();
  description.path = path;
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  Context context(description, directoryOf(path), isMember, defaultBuildTime, error);
  std::string line;
  while (std::getline(in, line)) {
    ++context.line;
    if (!applyLine(context, line)) return false;
  }
  if (in.bad()) {
    error = path + ": read error";
    return false;
  }
  return checkComplete(context);
}

}  // namespace

bool validPackageName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return c == '/' || byte <= ' ' || byte == 0x7F;
  });
}

bool readDescription(const std::string& path, uint32_t defaultBuildTime,
                     PackageDescription& description, std::string& error) {
  return readDescriptionAs(path, false, defaultBuildTime, description, error);
}
