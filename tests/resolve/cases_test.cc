// Runs the resolver's cases in cases/*.txt, one test per case (case Foo in
// request_pass.txt is RequestPass.Foo). A case is read from the top; # starts a
// comment line.
//
//   case <Name>
//   installed <record>; <record>...  records of the package list, in order
//   file <record>; ...               package files offered
//   member <record>; ...             members of the record above, a bundle
//   device [arch=A] [min=V] [erase-block=N]   the system, for the checks below
//   <check> => <outcome>             a check and what it must give
//     <console line>                 what it prints, in order (indented by 2)
//
// A record: a name ("" is the empty one), a version (major.minor, or packed
// as 0x...; 1.0 when left out) and attributes: built=N, arch=A, path=P,
// all-ones (version and build time), bundle (a bundle's own record),
// member-of=BUNDLE, disabled, user (forced by the user), a request
// (uninstall, enable, disable), and deps=, provides=, conflicts= with
// relations such as ssl, ssl=2.0 or ssl>=1.0<=2.0(-1), -1 being the extra.
//
// Each check starts afresh from the records above it, and prints nothing
// unless console lines follow (status lines as "[status] text"). Checks and
// their outcomes, "none" when empty:
//   choose <record> accept=BITS  the verdict: older newer unusable conflicts
//                                same; accept joins them with |, or is all
//                                or none
//   select [floor=V] [quiet]     the files that survive, in order, with paths
//   resolve [report=N]           requests after; removals; enables; refused
//                                (report 1 unless named, here and below)
//   process [report=N]           resolve and apply in a private root with a
//                                database entry per record: the records left;
//                                changes staged; returns false
//   follow-bundles, settle-bundles   requests after
//   find <name>                  the record that stands for the name
//   relate                       between files: a excludes b, a needs b, a newer b
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "install/apply_plan.h"
#include "resolve/candidate.h"
#include "resolve/providers.h"
#include "resolve/relations.h"
#include "support/private_root.h"

namespace {

using Words = std::vector<std::string>;

Words split(const std::string& text, char separator = ' ') {
  Words words;
  std::istringstream in(text);
  for (std::string word; std::getline(in, word, separator);)
    if (!word.empty()) words.push_back(word);
  return words;
}

// The parts that are not empty.
std::string join(const Words& parts, const std::string& separator = " ") {
  std::string text;
  for (const std::string& part : parts) text += part.empty() ? "" : (text.empty() ? "" : separator) + part;
  return text;
}

std::string option(const Words& words, const std::string& key, const std::string& fallback = "") {
  for (const std::string& word : words)
    if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
  return fallback;
}

Version version(const std::string& text) {
  if (text.rfind("0x", 0) == 0) return std::stoul(text, nullptr, 16);
  return std::stoul(text) << 24 | std::stoul(text.substr(text.find('.') + 1)) << 16 | 'f' << 8;
}

std::vector<DependencyEntry> relations(const std::string& list) {
  static const std::regex form("([^<>=(]+)(>=([^<(]+))?(<=([^(]+))?(=([^(]+))?(\\((-?\\d+)\\))?");
  std::vector<DependencyEntry> entries;
  for (const std::string& text : split(list, ',')) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(text, m, form)) << text;
    const Version exact = m[7].matched ? version(m[7]) : 0;
    entries.push_back({m[1], m[3].matched ? version(m[3]) : exact, m[5].matched ? version(m[5]) : exact,
                       m[9].matched ? std::stoi(m[9]) : 0});
  }
  return entries;
}

const std::pair<std::string, uint32_t> verdictBits[] = {{"older", OLDER_INSTALLED}, {"newer", NEWER_INSTALLED},
    {"unusable", UNUSABLE}, {"conflicts", CONFLICTS}, {"same", SAME_INSTALLED}};

// Sets what the words say of a record: keyword, name, then the rest.
void describe(Package& record, const Words& words) {
  auto* installed = dynamic_cast<InstalledPackage*>(&record);
  record.name = words[1] == "\"\"" ? "" : words[1];
  record.version = version("1.0");
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string& word = words[i];
    const std::string key = word.substr(0, word.find('=')), value = word.substr(word.find('=') + 1);
    const auto verb = std::find(scheduledVerbs + 1, scheduledVerbs + 4, key);
    if (i == 2 && isdigit(word[0])) record.version = version(word);
    else if (key == "built") record.buildTime = std::stoul(value, nullptr, 0);
    else if (key == "arch") record.architecture = value;
    else if (key == "deps" || key == "provides" || key == "conflicts")
      (key == "deps" ? record.deps : key == "provides" ? record.provides : record.conflicts) = relations(value);
    else if (key == "bundle") record.isBundle = true;
    else if (key == "all-ones") record.version = record.buildTime = 0xFFFFFFFF;
    else if (key == "path" && !installed) dynamic_cast<PackageFile&>(record).path = value;
    else if (key == "accept") continue;
    else if (!installed) ADD_FAILURE() << "not for this record: " << word;
    else if (key == "disabled") installed->disabled = true;
    else if (key == "user") installed->userForced = true;
    else if (key == "member-of") installed->bundle.name = value;
    else if (verb != scheduledVerbs + 4) installed->scheduled = ScheduledAction(verb - scheduledVerbs);
    else ADD_FAILURE() << "unknown attribute " << word;
  }
}

// The records above a check, made afresh for it.
struct Records {
  PackageDb db;
  std::vector<std::unique_ptr<PackageFile>> owned;
  std::vector<PackageFile*> files;

  explicit Records(const std::vector<Words>& lines) {
    Package* last = nullptr;
    for (const Words& words : lines) {
      Package* record = words[0] == "member" ? new Package("")
                        : words[0] == "file" ? new PackageFile("") : static_cast<Package*>(new InstalledPackage(""));
      describe(*record, words);
      if (words[0] == "member") {
        last->members.push_back(record);
        last->isBundle = true;
        continue;
      }
      if (words[0] == "file") files.push_back(owned.emplace_back(static_cast<PackageFile*>(record)).get());
      if (words[0] == "installed") db.packages.push_back(static_cast<InstalledPackage*>(record));
      last = record;
    }
  }
};

std::string names(const std::string& title, const PackageList& list, bool withRequests = false) {
  Words names;
  for (const InstalledPackage* record : list)
    if (!withRequests || record->scheduled)
      names.push_back((record->name.empty() ? "\"\"" : record->name) +
                      (withRequests ? std::string("=") + scheduledVerbs[record->scheduled] : ""));
  return names.empty() ? "" : join({title, join(names)});
}

std::string relate(const std::vector<PackageFile*>& files) {
  Words facts;
  for (const PackageFile* a : files)
    for (const PackageFile* b : files) {
      if (a == b) continue;
      if (excludes(*a, *b)) facts.push_back(a->name + " excludes " + b->name);
      if (dependsOn(*a, *b)) facts.push_back(a->name + " needs " + b->name);
      if (compareVersions(*a, *b) > 0) facts.push_back(a->name + " newer " + b->name);
    }
  return join(facts, ", ");
}

Version minimumVersion = 0;
uint32_t eraseBlock = 0;

std::string outcome(const Words& check, const std::vector<Words>& above, const Words& device) {
  Records records(above);
  PackageDb& db = records.db;
  const std::string& kind = check[0];
  const int report = std::stoi(option(check, "report", "1"));
  db.systemArch = option(device, "arch");
  minimumVersion = version(option(device, "min", "0x0"));
  eraseBlock = std::stoul(option(device, "erase-block", "0"), nullptr, 0);
  deviceLimits = {[] { return minimumVersion; }, [] { return eraseBlock; }};
  if (kind == "choose") {
    PackageFile candidate("");
    describe(candidate, check);
    const Words accepted = split(option(check, "accept"), '|');
    uint32_t accept = accepted == Words{"all"} ? ACCEPT_EVERYTHING : 0;
    for (const auto& [name, bit] : verdictBits) accept |= std::count(accepted.begin(), accepted.end(), name) ? bit : 0;
    const uint32_t verdict = chooseCandidate(db, candidate, accept);
    Words bits;
    for (const auto& [name, bit] : verdictBits) bits.push_back(verdict & bit ? name : "");
    return join(bits);
  }
  if (kind == "select") {
    const std::string floor = option(check, "floor");
    selectProviders(db, records.files, floor.empty() ? NO_VERSION_FLOOR : version(floor), check.back() != "quiet");
    Words kept;
    for (const PackageFile* file : records.files) kept.push_back(file->displayName() + file->path);
    return join(kept);
  }
  if (kind == "resolve") {
    PackageList removals, enables;
    const bool resolved = resolveRequests(db, removals, enables, report);
    return join({names("", db.packages, true), names("removals", removals), names("enables", enables),
                 resolved ? "" : "refused"}, "; ");
  }
  if (kind == "process") {
    Manifest manifest;
    const bool changed = processRequests(db, manifest, report);
    Words left, staged;
    for (const InstalledPackage* record : db.packages)
      left.push_back(record->displayName() + (record->disabled ? "(disabled)" : ""));
    for (const auto& [target, change] : manifest.entries)
      staged.push_back((change.kind == CHANGE_REMOVE ? "remove " : "write ") + target);
    return join({left.empty() ? "" : "left " + join(left), staged.empty() ? "" : "staged " + join(staged, ", "),
                 changed ? "" : "returns false"}, "; ");
  }
  if (kind == "follow-bundles") followBundles(db);
  if (kind == "settle-bundles") settleBundleRecords(db);
  if (kind == "find") {
    const InstalledPackage* found = findByNameOrProvides(db, check[1]);
    return found ? found->displayName() : "";
  }
  if (kind == "relate") return relate(records.files);
  return names("", db.packages, true);
}

// The outcome, then the console's lines: messages, and status lines marked.
void expect(const std::string& expected, const Words& check, const std::vector<Words>& above, const Words& device) {
  static const std::regex status("\x1b\\[\\?25l\r([^\r]*?) *\r\x1b\\[\\?25h");
  testing::internal::CaptureStdout();
  const std::string result = outcome(check, above, device);
  const std::string shown = std::regex_replace(testing::internal::GetCapturedStdout(), status, "\n[status] $1\n");
  Words lines{result.empty() ? "none" : result};
  for (const std::string& line : split(shown, '\n'))
    if (line.find_first_not_of(" \r") != std::string::npos && line != "[status] ") lines.push_back(line);
  EXPECT_EQ(expected, join(lines, "\n"));
}

using Lines = std::vector<std::pair<int, std::string>>;

void runCase(const std::string& file, const Lines& lines) {
  std::vector<Words> records;
  Words device;
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto& [number, line] = lines[i];
    const size_t arrow = line.find(" => ");
    const Words words = split(line.substr(0, arrow));
    if (words[0] == "device") {
      device = words;
    } else if (arrow == std::string::npos) {
      for (const std::string& record : split(line.substr(words[0].size()), ';'))
        records.push_back(split(words[0] + " " + record));
    } else {
      SCOPED_TRACE(file + ":" + std::to_string(number) + ": " + line);
      std::string expected = line.substr(arrow + 4);
      while (i + 1 < lines.size() && lines[i + 1].second[0] == ' ') expected += "\n" + lines[++i].second.substr(2);
      if (words[0] != "process") {
        expect(expected, words, records, device);
        continue;
      }
      // Applying writes to the database: in a private root laid out like it.
      PrivateRoot root;
      for (const Words& record : records) {
        root.write("/flash/var/pdb/" + record[1] + "/version", "1 0\n");
        if (std::count(record.begin(), record.end(), "disabled")) root.write("/flash/var/pdb/" + record[1] + "/disabled", "");
      }
      EXPECT_TRUE(runInRoot(root, [&] { expect(expected, words, records, device); }));
    }
  }
}

struct Case : testing::Test {
  std::function<void()> body;
  void TestBody() override { body(); }
};

const bool registered = [] {
  for (const auto& entry : std::filesystem::directory_iterator(RESOLVE_CASES_DIR)) {
    std::string suite, text;
    for (const std::string& word : split(entry.path().stem().string(), '_')) suite += char(toupper(word[0])) + word.substr(1);
    std::vector<std::pair<std::string, Lines>> cases;
    std::ifstream in(entry.path());
    for (int number = 1; std::getline(in, text); ++number) {
      if (text.rfind("case ", 0) == 0) cases.push_back({text.substr(5), {}});
      else if (!text.empty() && text[0] != '#') cases.back().second.emplace_back(number, text);
    }
    for (const auto& [name, lines] : cases)
      testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, entry.path().c_str(), lines[0].first,
                            [file = entry.path().string(), lines = lines] {
                              auto* test = new Case;
                              test->body = [file, lines] { runCase(file, lines); };
                              return test;
                            });
  }
  return true;
}();

}  // namespace
