// Scenario files (tests/scenarios/*.scn). A line in the first column is a
// step, the indented lines below it belong to it, '#' starts a comment. The
// lines above the first "scenario" begin every scenario of the file.
//   scenario TITLE                  a test, in a new root
//   package|bundle NAME VERSION [LABEL]  a package file (LABEL: NAME-VERSION)
//     built by pkgtool from the indented description lines and: file PATH
//     CONTENT, exec PATH CONTENT (mode 755), link PATH TEXT, dir PATH, image
//     CONTENT, member LABEL; with no file it holds etc/NAME "NAME VERSION\n"
//   write PATH [CONTENT], mkdir PATH..., remove PATH...  (PATH takes \xHH)
//   fifo PATH..., symlink PATH TEXT, sparse PATH BYTES (a file holding no
//     data), zero PATH (the host's /dev/zero bound over PATH; skips where it
//     cannot be mounted)
//   download LABEL [PATH]           at PATH, or PATH/LABEL.npk (/rw/pckg/.download/)
//   env NAME [VALUE], tmpfs DIR SIZE (skips where it cannot be mounted)
//   install LABEL...                installer - < LABEL, each with status 0
//   installer ARGS [< LABEL]        build/installer -r ROOT ARGS
//   inside ARGS                     the installer started inside the root
//   faults installer|inside ARGS [< LABEL]  the run cut or failed at its file
//     operations, each time on the root as it was (see sweepFaults)
// Checks below a run:
//   status N (else 0), stdout TEXT, stderr TEXT (else empty)
//   out LINE   the lines as a terminal shows them, trailing blanks dropped
//   log LINE   the lines that the run added to /flash/postlog
//     (out, log: all of them, a check line each); out-has, log-has LINE:
//     one of them
//   show NAME [MARKS] VERSION, ...  the rows of --show, in any order
//   file PATH CONTENT, mode PATH OCTAL, link PATH TEXT, exists PATH...
//   no PATH|log|tmp...  absent; nothing logged; no tmpXXXXXX file left
//   unchanged DIR       as before the run, but for the log and what a run stages
// CONTENT and TEXT take \n and \xHH, or are made: @random N (the same N
// bytes in every run), @repeat N TEXT, @package LABEL. $ROOT is the root on
// the host, $KIND this machine's hardware kind.
#include "e2e/scenario.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/processor.h"

namespace fs = std::filesystem;

#define SCENARIO_FAILURE(line) ADD_FAILURE_AT(text_.source.c_str(), (line).number)

namespace {

using Tree = std::map<std::string, std::string>;

Lines words(const std::string& text) {
  std::istringstream in(text);
  Lines all;
  for (std::string word; in >> word;) all.push_back(word);
  return all;
}

std::pair<std::string, std::string> splitFirst(const std::string& text) {
  const size_t end = text.find(' '), rest = text.find_first_not_of(' ', end);
  return {text.substr(0, end), rest == std::string::npos ? "" : text.substr(rest)};
}

std::string join(const Lines& lines, const std::string& separator = " | ") {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? separator : "") + lines[i];
  return text;
}

std::string replaced(std::string text, const std::string& what, const std::string& by) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size()))
    text.replace(at, what.size(), by);
  return text;
}

std::string unescape(std::string text) {
  for (size_t at = text.find("\\x"); at != std::string::npos; at = text.find("\\x", at + 1))
    text.replace(at, 4, 1, static_cast<char>(std::stoi(text.substr(at + 2, 2), nullptr, 16)));
  return replaced(text, "\\n", "\n");
}


// What a terminal shows: carriage returns and backspaces move back over
// what was written, the cursor sequences (ESC [ ? 2 5 h or l) show nothing.
Lines shownLines(const std::string& out) {
  Lines lines(1);
  size_t column = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    std::string& line = lines.back();
    if (out[i] == '\n') {
      line.erase(line.find_last_not_of(' ') + 1);
      lines.emplace_back(), column = 0;
    } else if (out[i] == '\r' || out[i] == '\b') {
      column = out[i] == '\r' || column == 0 ? 0 : column - 1;
    } else if (out[i] == '\x1b') {
      i += 5;
    } else {
      line.resize(std::max(line.size(), column + 1), ' ');
      line[column++] = out[i];
    }
  }
  if (lines.back().find_first_not_of(' ') == std::string::npos) lines.pop_back();
  return lines;
}

// The lines of a text; a last one without its line feed only when asked for.
Lines textLines(const std::string& text, bool unfinished) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!in.eof() || unfinished) lines.push_back(line);
  return lines;
}

bool isTemporary(const fs::path& path) {
  const std::string name = path.filename();
  return name.size() == 9 && name.compare(0, 3, "tmp") == 0;
}

// What a run stages: temporary files, and the record of where they are.
bool isStaged(const fs::path& path) { return isTemporary(path) || path.filename() == ".staging"; }

// The post-install log, and its earlier lines while a run sets them aside.
bool isLog(const std::string& path) {
  const std::string name = fs::path(path).filename();
  return name == "postlog" || name == "postlog.earlier";
}

// The paths that differ, the log and temporary files aside.
std::string changes(const Tree& before, const Tree& after) {
  std::vector<Tree::value_type> differ;
  std::set_symmetric_difference(before.begin(), before.end(), after.begin(), after.end(),
                                std::back_inserter(differ));
  std::string changed;
  for (const auto& entry : differ)
    if (!isStaged(entry.first) && !isLog(entry.first))
      changed += entry.first + " ";
  return changed;
}

std::string mismatch(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "";
  if (actual.size() + expected.size() > 200) return std::to_string(actual.size()) + " other bytes";
  return "is \"" + actual + "\"";
}

}  // namespace

std::vector<ScenarioText> parseScenarios(const std::string& source, const std::string& text) {
  std::vector<ScenarioText> scenarios;
  std::vector<ScenarioBlock> preamble;
  int number = 0;
  for (std::string raw : textLines(text, true)) {
    ++number;
    raw.erase(raw.find_last_not_of(" \t\r") + 1);
    const size_t start = raw.find_first_not_of(" \t");
    if (start == std::string::npos || raw[start] == '#') continue;
    const auto [keyword, value] = splitFirst(raw.substr(start));
    std::vector<ScenarioBlock>& blocks = scenarios.empty() ? preamble : scenarios.back().blocks;
    if (start > 0 && !blocks.empty())
      blocks.back().body.push_back({number, keyword, value});
    else if (keyword == "scenario")
      scenarios.push_back({source, value, number, preamble});
    else
      blocks.push_back({{number, keyword, value}, {}});
  }
  return scenarios;
}

Scenario::Scenario(ScenarioText text) : text_(std::move(text)) {
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);  // the build time of every package
  for (const char* name : {"arch", "bootimage"}) unsetenv(name);
  for (const ScenarioBlock& block : text_.blocks) declare(block);
}

Scenario::~Scenario() {
  for (const std::string& name : environment_) unsetenv(name.c_str());
}

void Scenario::append(const std::string& text) {
  const std::vector<ScenarioText> more = parseScenarios(text_.source, "scenario\n" + text);
  for (const ScenarioBlock& block : more.at(0).blocks) {
    declare(block);
    text_.blocks.push_back(block);
  }
}

void Scenario::addPackage(const std::string& label, const std::string& bytes) {
  packages_[label] = bytes;
}

const std::string& Scenario::package(const std::string& label) {
  if (packages_.count(label)) return packages_[label];
  const ProgramResult built = pkgtool({"build", "-k", TEST_KEY_FILE, "-o",
                                       shop_.host("/" + label + ".npk"), shop_.host("/" + label + ".desc")});
  EXPECT_EQ(0, built.status) << text_.source << ": " << label << ": " << built.err;
  return packages_[label] = shop_.read("/" + label + ".npk");
}

std::string Scenario::expand(const std::string& value) {
  const std::string text = replaced(replaced(value, "$ROOT", root_.path()), "$KIND",
                                    std::to_string(flashKind()));
  const Lines word = words(text);
  if (word.size() == 2 && word[0] == "@random") {
    std::string bytes(std::stoul(word[1]), '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) byte = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
    return bytes;
  }
  if (word.size() == 2 && word[0] == "@package") return package(word[1]);
  if (word.size() != 3 || word[0] != "@repeat") return unescape(text);
  std::string repeated;
  for (unsigned long i = std::stoul(word[1]); i > 0; --i) repeated += unescape(word[2]);
  return repeated;
}

// A package block becomes a description and a file tree in the workshop.
void Scenario::declare(const ScenarioBlock& block) {
  if (block.head.keyword != "package" && block.head.keyword != "bundle") return;
  Lines head = words(block.head.value);
  head.resize(3);
  const std::string label = head[2].empty() ? head[0] + "-" + head[1] : head[2];
  const std::string tree = label + "-tree/";
  std::string description = "name " + head[0] + "\nversion " + head[1] + "\n";
  bool hasFiles = false;
  for (const ScenarioLine& line : block.body) {
    const auto [path, rest] = splitFirst(line.value);
    const fs::path host = shop_.host("/" + tree + path);
    if (line.keyword == "file" || line.keyword == "exec")
      shop_.write("/" + tree + path, expand(rest), line.keyword == "exec" ? 0755 : 0644);
    else if (line.keyword == "link")
      fs::create_directories(host.parent_path()), fs::create_symlink(rest, host);
    else if (line.keyword == "dir")
      fs::create_directories(host);
    else if (line.keyword == "image" && !line.value.empty())
      shop_.write("/" + label + ".img", expand(line.value)), description += "image " + label + ".img\n";
    else if (line.keyword == "member")
      description += "member " + line.value + ".desc\n";
    else
      description += line.keyword + " " + expand(line.value) + "\n";
    hasFiles = hasFiles || line.keyword == "file" || line.keyword == "exec";
  }
  if (block.head.keyword == "package") {
    if (!hasFiles) shop_.write("/" + tree + "etc/" + head[0], head[0] + " " + head[1] + "\n");
    description += "files " + tree + "\n";
  }
  shop_.write("/" + label + ".desc", description);
}

void Scenario::run() {
  for (const ScenarioBlock& block : text_.blocks) {
    act(block);
    if (::testing::Test::IsSkipped()) return;
  }
  if (!::testing::Test::HasFailure()) checkSettled();
}

void Scenario::act(const ScenarioBlock& block) {
  const std::string& step = block.head.keyword;
  const auto [first, rest] = splitFirst(block.head.value);
  const Lines all = words(block.head.value);
  if (step == "installer" || step == "inside") return runInstaller(block);
  if (step == "faults") return sweepFaults(block);
  if (step == "package" || step == "bundle") return;
  if (!block.body.empty()) SCENARIO_FAILURE(block.head) << step << " takes no checks";
  if (step == "write") {
    root_.write(unescape(first), expand(rest));
  } else if (step == "mkdir" || step == "remove" || step == "fifo") {
    for (const std::string& path : all) {
      const std::string host = root_.host(unescape(path));
      if (step == "remove") fs::remove_all(host);
      else if (step == "mkdir") fs::create_directories(host);
      else if (fs::create_directories(fs::path(host).parent_path()), fs::remove(host), mkfifo(host.c_str(), 0644) != 0)
        SCENARIO_FAILURE(block.head) << "mkfifo " << path;
    }
  } else if (step == "symlink") {
    fs::create_directories(fs::path(root_.host(first)).parent_path());
    fs::create_symlink(rest, root_.host(first));
  } else if (step == "sparse") {
    root_.write(first, "");
    fs::resize_file(root_.host(first), std::stoull(rest));
  } else if (step == "zero") {
    root_.write(first, "");
    mounts_.push_back(std::make_unique<ScopedTmpfs>(root_.host(first), ScopedTmpfs::Bind{"/dev/zero"}));
    if (!mounts_.back()->mounted()) GTEST_SKIP() << "cannot bind /dev/zero in a mount namespace";
  } else if (step == "download") {
    const std::string path = all.size() > 1 ? all[1] : "/rw/pckg/.download/";
    root_.write(path.back() == '/' ? path + first + ".npk" : path, package(first));
  } else if (step == "env") {
    setenv(first.c_str(), rest.c_str(), 1);
    environment_.push_back(first);
  } else if (step == "tmpfs") {
    // The directories below DIR are made again on the new file system.
    const Tree hidden = snapshot(root_.host(first));
    mounts_.push_back(std::make_unique<ScopedTmpfs>(root_.host(first), "size=" + rest));
    if (!mounts_.back()->mounted()) GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace";
    for (const auto& entry : hidden)
      if (entry.second == "<dir>") fs::create_directories(entry.first);
  } else if (step == "install") {
    for (const std::string& label : all) {
      const ProgramResult result = ::runInstaller(root_, {"-"}, package(label));
      if (result.status != 0) SCENARIO_FAILURE(block.head) << label << ": " << result.out;
    }
  } else {
    SCENARIO_FAILURE(block.head) << "no such step: " << step;
  }
}

struct Scenario::Run {
  std::string head;
  ProgramResult result;
  Lines out, logAdded;
  std::map<std::string, Tree> before;
  std::map<std::string, size_t> seen;  // out and log lines compared so far
};

void Scenario::runInstaller(const ScenarioBlock& block) {
  Run run;
  run.head = block.head.keyword + " " + block.head.value;
  Lines args = words(replaced(block.head.value, "$ROOT", root_.path()));
  std::string input;
  if (args.size() >= 2 && args[args.size() - 2] == "<") {
    input = package(args.back());
    args.resize(args.size() - 2);
  }
  const Lines logBefore = textLines(root_.read("/flash/postlog"), false);
  for (const ScenarioLine& line : block.body)
    if (line.keyword == "unchanged") run.before[line.value] = snapshot(root_.host(line.value));
  run.result = start(block.head.keyword, args, input, INSTALLER_PATH);
  run.out = shownLines(run.result.out);
  run.logAdded = textLines(root_.read("/flash/postlog"), true);
  if (run.logAdded.size() >= logBefore.size() &&
      std::equal(logBefore.begin(), logBefore.end(), run.logAdded.begin()))
    run.logAdded.erase(run.logAdded.begin(), run.logAdded.begin() + logBefore.size());
  else
    run.logAdded.insert(run.logAdded.begin(), "(the earlier lines are lost)");

  std::set<std::string> given;
  for (const ScenarioLine& line : block.body) {
    given.insert(line.keyword);
    check(run, line);
  }
  if (!given.count("status")) check(run, {block.head.number, "status", "0"});
  if (!given.count("stderr")) check(run, {block.head.number, "stderr", ""});
  for (const auto& [what, count] : run.seen)
    if (count != (what == "out" ? run.out : run.logAdded).size())
      SCENARIO_FAILURE(block.head) << run.head << "\n  " << what << " has more lines: "
                                   << join(what == "out" ? run.out : run.logAdded);
}

namespace {

// Every file and link below /flash and /rw (but for the log and what a run
// stages) by its inode and change time: a file written again, even with the
// same bytes, shows as changed.
Tree identities(const PrivateRoot& root) {
  Tree found;
  for (const char* dir : {"/flash", "/rw"})
    for (const auto& entry : snapshot(root.host(dir))) {
      struct stat info {};
      if (lstat(entry.first.c_str(), &info) != 0 || S_ISDIR(info.st_mode) || isLog(entry.first) ||
          isStaged(entry.first))
        continue;
      found[entry.first] = std::to_string(info.st_ino) + "@" + std::to_string(info.st_ctim.tv_sec) + "." +
                           std::to_string(info.st_ctim.tv_nsec);
    }
  return found;
}

}  // namespace

// Whatever a scenario leaves, a run settles it: the run after that one
// writes nothing on the flash (an install that did not take would be done
// again at every start). The requests left in /ram ask for a change at
// every start; they go first.
void Scenario::checkSettled() {
  fs::remove_all(root_.host("/ram/pdb"));
  ::runInstaller(root_, {}, "");
  const Tree before = identities(root_);
  const ProgramResult second = ::runInstaller(root_, {}, "");
  const std::string changed = changes(before, identities(root_));
  if (!changed.empty())
    ADD_FAILURE_AT(text_.source.c_str(), text_.line) << "a second run after the scenario writes " << changed
                                                     << "\n" << second.out;
}

ProgramResult Scenario::start(const std::string& how, const Lines& args, const std::string& input,
                              const std::string& program) {
  return how == "inside" ? runInstallerInside(root_, args, input, program)
                         : ::runInstaller(root_, args, input, program);
}

namespace {

// The device as the consistency of a cut run is judged: every path below
// /flash and /rw with its content and mode, but for the log and what a run
// stages (temporary files, the record of where they are).
Tree deviceState(const PrivateRoot& root) {
  Tree state;
  for (const char* dir : {"/flash", "/rw"})
    for (auto& [path, content] : snapshot(root.host(dir))) {
      struct stat info {};
      lstat(path.c_str(), &info);
      if (!isLog(path) && !isStaged(path))
        state[path.substr(root.path().size())] = content + " mode " + std::to_string(info.st_mode & 07777);
    }
  return state;
}

// Temporary files, but for those that a saved manifest still needs, and the
// record of where they are, which only such files keep.
std::string leftovers(const PrivateRoot& root) {
  const std::string saved = root.read("/ram/MANIFEST");
  std::string found = root.exists("/flash/var/pdb/.staging") && saved.empty() ? ".staging " : "";
  for (const char* dir : {"/flash", "/rw", "/ram"})
    for (const auto& entry : snapshot(root.host(dir))) {
      const std::string path = entry.first.substr(root.path().size());
      if (isTemporary(path) && saved.find(" " + path + "\n") == std::string::npos) found += path + " ";
    }
  return found;
}

// What tells of a crash in a run whose standard error may hold the
// program's own lines (a failed rename is also said there): a sanitizer's
// report, or an end by a signal; "" when there is none.
std::string crash(const ProgramResult& result) {
  for (const char* report : {"Sanitizer", "runtime error:"})
    if (result.err.find(report) != std::string::npos) return "standard error: " + result.err;
  // 255 is the installer's own status (a copy of standard input it cannot
  // write), not the end by a signal.
  if (result.status > 128 && result.status < 255) return "ended by signal " + std::to_string(result.status - 128) + "\n" + result.err;
  return "";
}

void shell(const std::string& command) {
  if (system(command.c_str()) != 0) ADD_FAILURE() << "failed: " << command;
}

// The operations to fault: all of them on a full sweep
// (INSTALLER_FULL_SWEEP set), else at most `sample` spread over the run.
std::vector<uint64_t> faultPoints(uint64_t count, uint64_t sample) {
  std::vector<uint64_t> points;
  const uint64_t step = getenv("INSTALLER_FULL_SWEEP") || count <= sample ? 1 : (count + sample - 1) / sample;
  for (uint64_t at = 1; at <= count; at += step) points.push_back(at);
  return points;
}

}  // namespace

// faults installer|inside ARGS [< LABEL]: the run is done once for every
// fault point and kind, each time on the root as it was before; checks:
//   kinds cut kill oom ERRNO...  (default: all of these, with 28 and 5);
//                             oom: memory runs out there, the run ends with
//                             status 1 and an ERROR, the next start leaves
//                             the old or the new state
//   sample N                  (default 12 points per kind, 6 under emulation;
//                             at most INSTALLER_FAULT_SAMPLE when it is set)
//   lost ARGS                 a cut may end with an ERROR at the next start
//                             when `installer ARGS` then repairs it
// After a cut (whose RAM is lost with it) or a kill, the next start must
// leave the device exactly as it was before the run or as the run leaves
// it, with no temporary file anywhere; an injected error must end with an
// ERROR line and a status other than 0, or leave the device so. The root is
// left as the run leaves it.
void Scenario::sweepFaults(const ScenarioBlock& block) {
  Lines args = words(replaced(block.head.value, "$ROOT", root_.path()));
  const std::string how = args.at(0);
  args.erase(args.begin());
  std::string input;
  if (args.size() >= 2 && args[args.size() - 2] == "<") {
    input = package(args.back());
    args.resize(args.size() - 2);
  }
  Lines kinds = {"cut", "kill", "oom", "28", "5"}, lost;
  uint64_t sample = std::strlen(TEST_EMULATOR) > 0 ? 6 : 12;
  for (const ScenarioLine& line : block.body) {
    if (line.keyword == "kinds") kinds = words(line.value);
    else if (line.keyword == "sample") sample = std::stoull(line.value);
    else if (line.keyword == "lost") lost = words(line.value);
    else SCENARIO_FAILURE(line) << "no such check";
  }
  if (const char* most = getenv("INSTALLER_FAULT_SAMPLE"))
    sample = std::max<uint64_t>(1, std::min<uint64_t>(sample, std::strtoull(most, nullptr, 10)));
  const PrivateRoot savedRoot;
  const std::string saved = savedRoot.path();
  shell("find '" + saved + "' -mindepth 1 -delete; cp -a '" + root_.path() + "/.' '" + saved + "'");
  const auto restore = [&] {
    shell("find '" + root_.path() + "' -mindepth 1 -delete 2>/dev/null; cp -a '" + saved + "/.' '" + root_.path() + "'");
  };
  const Tree before = deviceState(root_);
  const bool hadManifest = root_.exists("/ram/MANIFEST");
  setenv("INSTALLER_FAULT", "count", 1);
  const ProgramResult counted = start(how, args, input, FAULTY_INSTALLER_PATH);
  unsetenv("INSTALLER_FAULT");
  const Tree after = deviceState(root_);
  const uint64_t count = std::stoull("0" + counted.err.substr(counted.err.rfind(' ') + 1));
  if (count == 0) SCENARIO_FAILURE(block.head) << "no file operation counted: " << counted.err;

  for (const std::string& kind : kinds) {
    for (uint64_t at : faultPoints(count, sample)) {
      restore();
      const bool ends = kind == "cut" || kind == "kill" || kind == "oom";
      const std::string plan = ends ? kind + " " + std::to_string(at) : "fail " + std::to_string(at) + " " + kind;
      setenv("INSTALLER_FAULT", plan.c_str(), 1);
      const ProgramResult faulted = start(how, args, input, FAULTY_INSTALLER_PATH);
      unsetenv("INSTALLER_FAULT");
      const std::string where = "\n  " + plan + " of " + std::to_string(count) + ": ";
      // A faulted run may fail, never crash.
      if (!crash(faulted).empty()) SCENARIO_FAILURE(block.head) << where << crash(faulted);
      if (!ends) {
        const Tree state = deviceState(root_);
        const bool reported = faulted.status != 0 && faulted.out.find("ERROR: ") != std::string::npos;
        if (!reported && state != before && state != after)
          SCENARIO_FAILURE(block.head) << where << "status " << faulted.status << ", nothing said, changed "
                                       << changes(before, state) << "\n" << faulted.out;
        if (faulted.status != 0 && root_.exists("/ram/MANIFEST") && !hadManifest)
          SCENARIO_FAILURE(block.head) << where << "a failed run saved /ram/MANIFEST";
        continue;
      }
      if (kind == "oom" && faulted.status != 0 &&
          (faulted.status != 1 || faulted.out.find("ERROR: installation stopped: out of memory") == std::string::npos))
        SCENARIO_FAILURE(block.head) << where << "status " << faulted.status << "\n" << faulted.out << faulted.err;
      if (kind == "cut") shell("find '" + root_.host("/ram") + "' -mindepth 1 -delete");
      const ProgramResult next = ::runInstaller(root_, {"--show"});
      std::string problem = leftovers(root_) + crash(next);
      const Tree state = deviceState(root_);
      if (state != before && state != after) {
        const bool reported = next.out.find("ERROR: ") != std::string::npos;
        if (lost.empty() || !reported) {
          problem += "neither old nor new: " + changes(after, state);
        } else {
          const ProgramResult repair = ::runInstaller(root_, lost);
          if (repair.status != 0 || deviceState(root_) != after)
            problem += "not repaired: " + changes(after, deviceState(root_)) + repair.out;
          problem += crash(repair);
        }
      }
      if (!problem.empty()) SCENARIO_FAILURE(block.head) << where << problem << "\n" << next.out;
    }
  }
  restore();
  start(how, args, input, INSTALLER_PATH);
}

void Scenario::check(Run& run, const ScenarioLine& line) {
  const std::string& what = line.keyword;
  const auto [path, rest] = splitFirst(line.value);
  const ProgramResult& result = run.result;
  std::string problem;  // none when the check holds
  if (what == "status") {
    if (result.status != std::stoi(line.value))
      problem = "status " + std::to_string(result.status) + "\n" + result.out + result.err;
  } else if (what == "stdout" || what == "stderr") {
    problem = mismatch(what == "stdout" ? result.out : result.err, expand(line.value));
  } else if (what == "out" || what == "log") {
    const Lines& lines = what == "out" ? run.out : run.logAdded;
    const size_t at = run.seen[what]++;
    if (at >= lines.size() || lines[at] != expand(line.value)) problem = join(lines);
  } else if (what == "log-has" || what == "out-has") {
    const Lines& lines = what == "out-has" ? run.out : run.logAdded;
    if (std::count(lines.begin(), lines.end(), expand(line.value)) == 0) problem = "there are " + join(lines);
  } else if (what == "file") {
    problem = root_.exists(path) ? mismatch(root_.read(path), expand(rest)) : "missing";
  } else if (what == "mode") {
    struct stat info {};
    std::ostringstream mode;
    mode << std::oct << (stat(root_.host(path).c_str(), &info) == 0 ? info.st_mode & 07777 : 0);
    if (mode.str() != rest) problem = "mode " + mode.str();
  } else if (what == "link") {
    std::error_code error;
    problem = mismatch(fs::read_symlink(root_.host(path), error), rest);
  } else if (what == "show") {
    // The name, marks and version of every row, in any order.
    Lines rows = textLines(::runInstaller(root_, {"-q", "--show"}).out, true), expected;
    rows.erase(rows.begin(), rows.begin() + std::min<size_t>(2, rows.size()));
    for (std::string& row : rows) row = join(words(row.substr(0, 33)), " ");
    std::istringstream list(line.value);
    for (std::string row; std::getline(list, row, ',');) expected.push_back(join(words(row), " "));
    std::sort(rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    if (rows != expected) problem = join(rows, ", ");
  } else if (what == "unchanged") {
    problem = changes(run.before.at(path), snapshot(root_.host(path)));
  } else if (what == "exists" || what == "no") {
    for (const std::string& item : words(line.value)) {
      if (item == "tmp") {
        for (const char* dir : {"/flash", "/rw", "/ram"})
          for (const auto& entry : snapshot(root_.host(dir)))
            if (isTemporary(entry.first)) problem += entry.first + " ";
      } else if (item == "log") {
        problem += run.logAdded.empty() ? "" : "the log has " + join(run.logAdded);
      } else if (root_.exists(item) != (what == "exists")) {
        problem += item + (what == "no" ? " present " : " missing ");
      }
    }
  } else {
    problem = "no such check";
  }
  if (!problem.empty())
    SCENARIO_FAILURE(line) << run.head << "\n  " << what << " " << line.value << ": " << problem;
}

namespace {

// Capitalised words: "a bundle's members" -> "ABundlesMembers".
std::string testName(const std::string& text) {
  auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  std::string name;
  for (size_t i = 0; i < text.size(); ++i)
    if (isWord(text[i]))
      name += i > 0 && (isWord(text[i - 1]) || text[i - 1] == '\'') ? text[i]
                                                                    : char(std::toupper(text[i]));
  return name;
}

struct ScenarioTest : ::testing::Test {
  explicit ScenarioTest(ScenarioText scenario) : text(std::move(scenario)) {}
  void TestBody() override { Scenario(text).run(); }
  ScenarioText text;
};

// Every scenario is a test, named after its file and its title.
const bool registered = [] {
  for (const auto& file : fs::directory_iterator(SCENARIO_DIR))
    if (file.path().extension() == ".scn")
      for (const ScenarioText& text : parseScenarios(file.path(), readFile(file.path())))
        ::testing::RegisterTest(testName(file.path().stem()).c_str(), testName(text.title).c_str(),
                                nullptr, nullptr, text.source.c_str(), text.line,
                                [=]() -> ::testing::Test* { return new ScenarioTest(text); });
  return true;
}();

}  // namespace
