// pkgtool through its built binary: arguments, errors in descriptions and key
// files, what build writes, inspect shows and verify accepts; version texts.
// inspect --json is read back with a JSON library; diff is checked by its
// exact lines.
// The installer installing what pkgtool built is the business of the
// end-to-end tests, whose packages are all made by it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "installer_version.h"
#include "support/private_root.h"
#include "version_parse.h"

namespace {

// Help, wrong arguments, and builds that fail: the status and what the
// output says. A build that fails leaves no package file.
TEST(Pkgtool, StatusesAndMessages) {
  PrivateRoot w;  // a scratch directory
  w.write("/tree/etc/x", "x");
  w.write("/member.desc", "name member\nversion 1.0\n");
  w.write("/public.txt", "eddsa-public 3d258992334850a7c7668fe4f6e11b1234bc38282144fc8698cb4717c8fd9e24\n");
  const std::string out = w.host("/out.npk"), d = w.host("/d.desc");
  const std::vector<std::string> signNone = {"build", "-s", "none", "-o", out, d};
  const struct {
    std::vector<std::string> args;
    const char* description;  // written to d.desc
    int status;
    const char* message;  // on standard output for status 0, else on standard error
  } rows[] = {
      {{"--help"}, "", 0, "/ram/SECURE"},
      {{"-h"}, "", 0, "/ram/SECURE"},
      {{"help"}, "", 0, "/ram/SECURE"},
      {{"--version"}, "", 0, "pkgtool " INSTALLER_VERSION "\n"},
      {{"verify", "--help"}, "", 0, "/ram/SECURE"},
      {{}, "", 2, "usage"},
      {{"frobnicate"}, "", 2, "usage"},
      {{"verify"}, "", 2, "usage"},
      {{"verify", "a", "b"}, "", 2, "usage"},
      {{"inspect", "--bogus", "x"}, "", 2, "usage"},
      {{"inspect", "--json"}, "", 2, "usage"},
      {{"diff", "a"}, "", 2, "usage"},
      {{"diff", "a", "b", "c"}, "", 2, "usage"},
      {{"build"}, "", 2, "usage"},
      {{"build", "-s", "strong", "x.desc"}, "", 2, "usage"},
      {{"build", "-o"}, "", 2, "usage"},
      {{"build", "-o", "a", "-o", "b", "x.desc"}, "", 2, "usage"},
      {signNone, "name a\nversion 1.0\ncolour blue\n", 1, "d.desc:3: unknown directive 'colour'"},
      {signNone, "name a\nversion 1.0beta\nversion 1.1\n", 1, "d.desc:3: version given twice"},
      {signNone, "name a\nversion 1.x\n", 1, "d.desc:2: version: '1.x' is not a version"},
      {signNone, "name a/b\n", 1, "d.desc:1: name: 'a/b' is not a package name"},
      {signNone, "name seventeen-chars-x\n", 1, "is not a package name"},
      {signNone, "version 1.0\n", 1, "d.desc: no name"},
      {signNone, "name a\n", 1, "d.desc: no version"},
      {signNone, "name a\nversion 1.0\ndepends b >= 2.0 <= 1.0\n", 1, "d.desc:3: depends: the lowest"},
      {signNone, "name a\nversion 1.0\ndepends b >> 2.0\n", 1, "d.desc:3: depends: '>>' is none of"},
      {signNone, "name a\nversion 1.0\nprovides b extra x\n", 1, "d.desc:3: provides: extra 'x'"},
      {signNone, "name a\nversion 1.0\nprovides b extra 2147483648\n", 1, "provides: extra '2147483648'"},
      {signNone, "name a\nversion 1.0\nconflicts b extra -2147483649\n", 1, "conflicts: extra '-2147483649'"},
      {signNone, "name a\nversion 1.0\nflags fast\n", 1, "d.desc:3: flags: 'fast'"},
      {signNone, "name a\nversion 1.0\nbuilt yesterday\n", 1, "d.desc:3: built:"},
      {signNone, "name a\nversion 1.0\nfiles tree\nhw 3 etc/y\n", 1, "d.desc:4: hw: no entry etc/y"},
      {signNone, "name a\nversion 1.0\nhw 3 etc/x\n", 1, "d.desc: hw: the package has no files"},
      {signNone, "name a\nversion 1.0\nfiles nowhere\n", 1, "nowhere: not a directory"},
      {signNone, "name a\nversion 1.0\nsignature strong\n", 1, "d.desc:3: signature: 'strong'"},
      {signNone, "name a\nversion 1.0\nmember member.desc\ndepends b\n", 1, "a bundle carries no depends"},
      {signNone, "name a\nversion 1.0\nmember member.desc\nfiles tree\n", 1, "a bundle has no files"},
      {signNone, "name member\nversion 1.0\nmember member.desc\n", 1, "is named like the bundle"},
      {signNone, "name a\nversion 1.0\nmember member.desc\nmember member.desc\n", 1, "two members are named"},
      {signNone, "name a\nversion 1.0\nmember d.desc\n", 1, "d.desc:3: member: "},
      {signNone, "name a\nversion 1.0\nmember none.desc\n", 1, "none.desc: cannot be read"},
      {signNone, "name a\nversion 1.0\ndisabled b\n", 1, "disabled: only a bundle"},
      // Found out once the file is being written.
      {signNone, "name a\nversion 1.0\nnote n\nimage missing.img\n", 1, "missing.img"},
      {{"build", "-o", out, d}, "name a\nversion 1.0\n", 1, "--keys"},
      {{"build", "-k", w.host("/public.txt"), "-s", "eddsa", "-o", out, d}, "name a\nversion 1.0\n", 1,
       "eddsa-seed: missing"},
  };
  for (const auto& row : rows) {
    w.write("/d.desc", row.description);
    const ProgramResult result = pkgtool(row.args);
    EXPECT_EQ(row.status, result.status) << row.description << (row.args.empty() ? "" : row.args[0]);
    EXPECT_NE(std::string::npos, (row.status == 0 ? result.out : result.err).find(row.message))
        << row.description << result.err;
  }
  EXPECT_EQ(0, system(("test -z \"$(ls -A " + w.path() + " | grep npk)\"").c_str()));
}

TEST(Pkgtool, DefaultOutputIsNameAndVersionInTheCurrentDirectory) {
  PrivateRoot w;
  w.write("/d.desc", "name tool\nversion 2.5rc1\n");
  char previous[4096];
  ASSERT_TRUE(getcwd(previous, sizeof previous));
  ASSERT_EQ(0, chdir(w.path().c_str()));  // the child starts here
  const ProgramResult result = pkgtool({"build", "-s", "none", "d.desc"});
  ASSERT_EQ(0, chdir(previous));
  ASSERT_EQ(0, result.status) << result.err;
  EXPECT_EQ("built tool-2.5rc1.npk\n", result.out);
  EXPECT_TRUE(w.exists("/tool-2.5rc1.npk"));
}

// Builds the description into out, signed in mode with the test keys.
void build(const PrivateRoot& w, const std::string& description, const std::string& out,
           const std::string& mode = "both") {
  const ProgramResult result =
      pkgtool({"build", "-k", TEST_KEY_FILE, "-s", mode, "-o", w.host(out), w.host(description)});
  ASSERT_EQ(0, result.status) << result.err;
}

void writeTree(const PrivateRoot& w) {
  w.write("/tree/etc/motd", "hello\n");
  w.write("/tree/bin/tool", "#!/bin/sh\necho tool\n");
  chmod(w.host("/tree/bin/tool").c_str(), 0755);
  symlink("tool", w.host("/tree/bin/link").c_str());
  w.makeDir("/tree/var/empty");
}

void expectLinesInOrder(const std::string& text, const std::vector<std::string>& lines) {
  size_t at = 0;
  for (const std::string& line : lines) {
    const size_t found = text.find(line, at);
    ASSERT_NE(std::string::npos, found) << "missing, or out of order: " << line << "\nin:\n" << text;
    at = found + line.size();
  }
}

struct JsonRow {
  const char* pointer;  // into the document
  nlohmann::json value;
};

// inspect --json of the file parses, and holds each row's value.
void expectJson(const PrivateRoot& w, const std::string& file, const std::vector<JsonRow>& rows) {
  const ProgramResult result = pkgtool({"inspect", "--json", w.host(file)});
  ASSERT_EQ(0, result.status) << result.err;
  const nlohmann::json document = nlohmann::json::parse(result.out, nullptr, false);
  ASSERT_FALSE(document.is_discarded()) << result.out;
  for (const JsonRow& row : rows) {
    const nlohmann::json::json_pointer pointer(row.pointer);
    ASSERT_TRUE(document.contains(pointer)) << row.pointer;
    EXPECT_EQ(row.value, document[pointer]) << row.pointer;
  }
}

// Every directive of a package on its own, with a file that compresses to
// several chunks, listed only when all of it was put in; texts are shown
// with control bytes and backslashes escaped. Of the hw lines the most
// specific path wins, whatever their order; of two for the same path the
// later one.
TEST(PkgtoolBuild, InspectShowsWhatWasPutIn) {
  PrivateRoot w;
  writeTree(w);
  std::string noise(300000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
  w.write("/tree/lib/noise", noise);
  w.write("/boot.img", std::string(100, 'B'));
  w.write("/system.desc",
          "# comment\nname system\nversion 2.5beta3\nbuilt 2024-01-31 12:00:00\nflags boot no-meta\n"
          "arch powerpc\nnote The base system\ntext2 second\x7f\\text\ntext24 first text\n"
          "depends routing >= 2.5 <= 2.9\ndepends dhcp\nprovides wifi = 2.5 extra -1\nconflicts oldsys >= 1.0\n"
          "image boot.img\nfiles tree\nhw 0 bin/link\nhw 3 bin\nhw 1 etc\nhw 2 etc/motd\nhw 5 var\nhw 6 var\n");
  build(w, "/system.desc", "/system.npk");
  const ProgramResult result = pkgtool({"inspect", w.host("/system.npk")});
  ASSERT_EQ(0, result.status) << result.err;
  expectLinesInOrder(
      result.out,
      {"package file", "magic 0xbad0f11e\n",
       "           8         36   1 package header\n          50         10  24 text 24\n"
       "          66          7  16 architecture\n          79         12   2 text 2\n"
       "          97         15  23 note\n         118         66   3 dependencies\n"
       "         190         34  19 provides\n         230         34  17 conflicts\n"
       "         270        100  21 image\n",
       "   4 files\n", "        132   9 signature\n",
       "package system-2.5beta3\n  built      2024-01-31 12:00:00 UTC (1706702400)\n"
       "  flags      0x00000003 boot no-meta\n  arch       powerpc\n  note       The base system\n"
       "  text2      second\\x7f\\x5ctext\n  text24     first text\n  depends    routing >= 2.5 <= 2.9\n"
       "  depends    dhcp\n  provides   wifi = 2.5 extra -1\n  conflicts  oldsys >= 1.0\n  image      yes\n"
       "  files      9 entries\n    mode     hw       size  name\n"
       "    0040755   3          0  bin\n    0120777   0          4  bin/link\n    0100755   3         20  bin/tool\n"
       "    0040755   1          0  etc\n    0100644   2          6  etc/motd\n    0040755   0          0  lib\n"
       "    0100644   0     300000  lib/noise\n    0040755   6          0  var\n    0040755   6          0  var/empty\n"
       "  signature  EdDSA (level 2) over a SHA-1 digest, level 1 required: ok\n"});
  expectJson(w, "/system.npk",
             {{"/kind", "package"}, {"/magic", 0xbad0f11e}, {"/untracked", false},
              {"/parts/0", {{"offset", 8}, {"length", 36}, {"type", 1}, {"name", "package header"}}},
              {"/parts/8/name", "image"}, {"/parts/9/type", 4}, {"/members", nlohmann::json::array()},
              {"/package/name", "system"}, {"/package/version", "2.5beta3"}, {"/package/built", 1706702400},
              {"/package/flags", 3}, {"/package/boot", true}, {"/package/no_meta", true},
              {"/package/arch", "powerpc"}, {"/package/text2", "second\x7f\\text"}, {"/package/image", true},
              {"/package/depends/0", {{"name", "routing"}, {"min", "2.5"}, {"max", "2.9"}, {"extra", 0}}},
              {"/package/depends/1/min", nullptr},
              {"/package/provides/0", {{"name", "wifi"}, {"min", "2.5"}, {"max", "2.5"}, {"extra", -1}}},
              {"/package/conflicts/0/name", "oldsys"},
              {"/package/files/1", {{"name", "bin/link"}, {"mode", 0120777}, {"hw", 0}, {"size", 4}}},
              {"/package/files/6/size", 300000}, {"/package/files/8/hw", 6}, {"/package/files_cut_short", false},
              {"/package/signature",
               {{"present", true}, {"level", 2}, {"kind", "EdDSA"}, {"digest", "SHA-1"}, {"required", 1},
                {"enough", true}}}});
}

// Each signing mode, with the untracked magic and a SHA-256 digest; the
// status follows the level that 7.2 needs, and a changed byte of the
// payload fails the signature.
TEST(PkgtoolVerify, SigningModesAndUntrackedSha256Packages) {
  PrivateRoot w;
  writeTree(w);
  w.write("/p.desc", "name tool\nversion 7.2\nuntracked\nsha256\nfiles tree\n");
  const struct {
    const char* mode;
    int status;
    const char* line;
  } rows[] = {{"none", 1, "no signature part, level 2 required: NOT ENOUGH"},
              {"legacy", 1, "legacy, level 2 required: NOT ENOUGH"},
              {"eddsa", 0, "EdDSA, level 2 required: ok"},
              {"both", 0, "EdDSA, level 2 required: ok"}};
  for (const auto& row : rows) {
    build(w, "/p.desc", "/p.npk", row.mode);
    const ProgramResult verify = pkgtool({"verify", w.host("/p.npk")});
    EXPECT_EQ(row.status, verify.status) << row.mode;
    EXPECT_EQ(std::string("tool-7.2: ") + row.line + "\n", verify.out) << row.mode;
    EXPECT_EQ(row.status, pkgtool({"verify", "-q", w.host("/p.npk")}).status) << row.mode;
  }
  const ProgramResult inspect = pkgtool({"inspect", w.host("/p.npk")});
  expectLinesInOrder(inspect.out, {"untracked package file", "magic 0xa1100ffb", " 25 SHA-256 marker",
                                   "  1 package header", "  4 files", "  9 signature",
                                   "EdDSA (level 2) over a SHA-256 digest, level 2 required: ok"});
  std::string bad = w.read("/p.npk");
  bad[bad.size() - 140] ^= 1;
  w.write("/p.npk", bad);
  EXPECT_EQ(1, pkgtool({"verify", "-q", w.host("/p.npk")}).status);
}

TEST(PkgtoolVerify, UnreadableFilesGiveTwo) {
  PrivateRoot w;
  w.write("/p.desc", "name tool\nversion 7.2\n");
  build(w, "/p.desc", "/p.npk");
  const std::string good = w.read("/p.npk");
  w.write("/garbage", "this is no package file at all");
  w.write("/empty", "");
  w.write("/short", good.substr(0, good.size() - 1));
  w.write("/longer", good + "x");
  w.write("/magic", "\x1e\xf1\xd0\xbb" + good.substr(4));
  w.makeDir("/directory.npk");
  w.write("/good.npk", good);
  for (const char* name : {"/garbage", "/empty", "/short", "/longer", "/magic", "/missing", "/directory.npk"}) {
    EXPECT_EQ(2, pkgtool({"verify", "-q", w.host(name)}).status) << name;
    EXPECT_EQ(2, pkgtool({"diff", w.host("/good.npk"), w.host(name)}).status) << name;
    EXPECT_EQ(2, pkgtool({"diff", w.host(name), w.host("/good.npk")}).status) << name;
    const ProgramResult inspect = pkgtool({"inspect", w.host(name)});
    EXPECT_EQ(2, inspect.status) << name;
    EXPECT_NE(std::string::npos, inspect.err.find("not a readable package file")) << name;
  }
}

// Members follow the bundle's parts and its list; a member without a build
// time takes the bundle's; every member must reach its level.
TEST(PkgtoolBundle, MembersFollowTheBundleAndItsList) {
  PrivateRoot w;
  w.write("/a/etc/a", "member a\n");
  w.write("/b/lib/b", "member b\n");
  w.write("/b.desc", "name wireless\nversion 7.2\nbuilt 1000\nfiles b\n");
  w.write("/bundle.desc",
          "name routeros\nversion 7.2\nbuilt 2000\nnote all of it \xff\nimage\nmember a.desc\nmember b.desc\n"
          "disabled wireless\n");
  for (const char* signature : {"", "signature legacy\n"}) {
    w.write("/a.desc", std::string("name routing\nversion 7.2\nfiles a\nprovides routing-api\n") + signature);
    build(w, "/bundle.desc", "/bundle.npk");
    const ProgramResult verify = pkgtool({"verify", w.host("/bundle.npk")});
    EXPECT_EQ(*signature ? 1 : 0, verify.status) << verify.out;
    EXPECT_EQ(std::string("routing-7.2: ") + (*signature ? "legacy, level 2 required: NOT ENOUGH" : "EdDSA, level 2 required: ok") +
                  "\nwireless-7.2: EdDSA, level 2 required: ok\n",
              verify.out);
  }
  const ProgramResult result = pkgtool({"inspect", w.host("/bundle.npk")});
  ASSERT_EQ(0, result.status) << result.err;
  expectLinesInOrder(result.out, {" 18 bundle header", " 23 note", " 21 image", " 20 bundle list",
                                  "  1 package header", " 19 provides", "  4 files", "  9 signature",
                                  "  1 package header", "  4 files", "  9 signature",
                                  "bundle routeros-7.2", "note       all of it", "disabled   wireless",
                                  "member routing-7.2", "(2000)", "provides   routing-api",
                                  "0100644   0          9  etc/a", "signature  legacy", "member wireless-7.2",
                                  "(1000)", "0100644   0          9  lib/b", "signature  EdDSA"});
  // A byte that is no UTF-8 comes out as U+FFFD.
  expectJson(w, "/bundle.npk",
             {{"/kind", "bundle"}, {"/package/name", "routeros"}, {"/package/note", "all of it \xef\xbf\xbd"},
              {"/package/disabled", {"wireless"}}, {"/members/0/name", "routing"}, {"/members/0/built", 2000},
              {"/members/0/provides/0/name", "routing-api"}, {"/members/0/signature/kind", "legacy"},
              {"/members/0/signature/enough", false}, {"/members/1/files/0/name", "lib"},
              {"/members/1/files/1/size", 9}, {"/members/1/signature/enough", true}});
}

// What an upgrade from the old description's package to the new one's
// changes. The build time alone is no difference; of the files, content
// (the same size or not), mode and hardware kind are.
TEST(PkgtoolDiff, WhatAnUpgradeChanges) {
  PrivateRoot w;
  w.write("/old/etc/motd", "hello\n");
  w.write("/old/etc/gone", "gone");
  w.write("/old/lib/same", "same");
  w.write("/old/bin/tool", "#!/bin/sh\n");
  chmod(w.host("/old/bin/tool").c_str(), 0755);
  w.write("/new/etc/motd", "HELLO\n");
  w.write("/new/etc/added", "new\n");
  w.write("/new/lib/same", "same");
  w.write("/new/bin/tool", "#!/bin/sh\necho tool\n");
  chmod(w.host("/new/bin/tool").c_str(), 0700);
  w.write("/boot.img", "image");
  w.write("/routing.desc", "name routing\nversion 7.1\n");
  w.write("/routing2.desc", "name routing\nversion 7.2\ndepends system\n");
  w.write("/wireless.desc", "name wireless\nversion 7.1\n");
  w.write("/dude.desc", "name dude\nversion 7.2\n");
  const struct {
    const char* before;
    const char* after;
    int status;
    const char* out;
  } rows[] = {
      {"name a\nversion 1.0\nbuilt 1000\nfiles old\n", "name a\nversion 1.0\nbuilt 2000\nfiles old\n", 0, ""},
      {"name a\nversion 1.0\narch powerpc\ndepends b >= 1.0\ndepends c\nconflicts d\n",
       "name a\nversion 1.1\narch mipsbe\nflags boot\nnote n\ndepends c\ndepends b >= 1.1\n"
       "provides e = 1.1 extra 2\nimage boot.img\n",
       1,
       "version: 1.0 -> 1.1\narch: \"powerpc\" -> \"mipsbe\"\nflags: 0x00000000 -> 0x00000001 boot\n"
       "image: no -> yes\nnote: \"\" -> \"n\"\ndepends removed: b >= 1.0\ndepends added: b >= 1.1\n"
       "provides added: e = 1.1 extra 2\nconflicts removed: d\n"},
      {"name a\nversion 1.0\nfiles old\nhw 1 lib/same\n", "name b\nversion 1.0\nfiles new\n", 1,
       "name: a -> b\nfile removed: etc/gone\n"
       "file changed: bin/tool: content, 10 -> 20 bytes, mode 0100755 -> 0100700\n"
       "file added: etc/added (0100644, 4 bytes)\nfile changed: etc/motd: content\nfile changed: lib/same: hw 1 -> 0\n"},
      {"name all\nversion 7.1\nmember routing.desc\nmember wireless.desc\ndisabled wireless\n",
       "name all\nversion 7.2\nmember routing2.desc\nmember dude.desc\n", 1,
       "version: 7.1 -> 7.2\ndisabled removed: wireless\nmember routing: version: 7.1 -> 7.2\n"
       "member routing: depends added: system\nmember removed: wireless-7.1\nmember added: dude-7.2\n"},
      {"name routing\nversion 7.1\n", "name all\nversion 7.1\nmember routing.desc\n", 1,
       "kind: package -> bundle\nname: routing -> all\nimage: no -> yes\n"},
  };
  for (const auto& row : rows) {
    w.write("/before.desc", row.before);
    w.write("/after.desc", row.after);
    build(w, "/before.desc", "/before.npk", "none");
    build(w, "/after.desc", "/after.npk", "none");
    const ProgramResult result = pkgtool({"diff", w.host("/before.npk"), w.host("/after.npk")});
    EXPECT_EQ(row.status, result.status) << row.after << result.err;
    EXPECT_EQ(row.out, result.out) << row.after;
  }
}

// Version numbers and their texts: the installer shows a number as text,
// pkgtool reads the text back. Some numbers are shown in a form that reads
// back otherwise, and some texts are no version (0).
TEST(Version, TextsBothWays) {
  const struct {
    const char* text;
    Version version;
    bool shown, parsed;
  } rows[] = {
      {"2.5.7", 0x02056607, true, true},   {"2.5", 0x02056600, true, true},
      {"2.5beta3", 0x02056203, true, true}, {"2.5alpha1", 0x02056101, true, true},
      {"2.5rc", 0x02056300, true, true},   {"2.5rc12", 0x0205630C, true, true},
      {"6.46.9", 0x062E6609, true, true},  {"255.255.255", 0xFFFF66FF, true, true},
      {"2.57", 0x02050007, true, false},   {"2.5", 0x02057800, true, false},
      {"0.0", 0, true, false},             {"0x02050007", 0x02050007, false, true},
      {"", 0, false, true}, {"2", 0, false, true}, {"2.", 0, false, true}, {"2.5.", 0, false, true},
      {"2.5.7.1", 0, false, true}, {"256.1", 0, false, true}, {"2.5.256", 0, false, true},
      {"2.5gamma1", 0, false, true}, {"2.5beta3x", 0, false, true}, {"v2.5", 0, false, true},
      {"2.5 ", 0, false, true}, {"-1.5", 0, false, true}, {"0x", 0, false, true},
      {"0x123456789", 0, false, true}, {"0xZZ", 0, false, true},
  };
  for (const auto& row : rows) {
    if (row.shown) {
      EXPECT_STREQ(row.text, versionText(row.version));
    }
    if (!row.parsed) continue;
    Version version = 0;
    EXPECT_EQ(row.version != 0, parseVersion(row.text, version)) << row.text;
    EXPECT_EQ(row.version, version) << row.text;
  }
}

}  // namespace

namespace {

// A device root made by the installer, queried row by row: each row may
// change the root first, and no query changes it. Links in the root lead
// no further than the root: the host's /etc/passwd read instead of the
// root's would show other lines.
TEST(PkgtoolQuery, ReadsTheRootThatTheInstallerMadeAndChangesNothing) {
  PrivateRoot root;
  root.write("/src/a/etc/alpha", "alpha\n");
  root.write("/src/a/bin/tool", "tool\n");
  root.write("/src/r/etc/routing", "routing\n");
  root.write("/src/w/lib/wireless", "wireless\n");
  root.write("/src/alpha.desc", "name alpha\nversion 1.0\nfiles a\n");
  root.write("/src/routing.desc", "name routing\nversion 7.2\nfiles r\n");
  root.write("/src/wireless.desc", "name wireless\nversion 7.2\nfiles w\n");
  root.write("/src/all.desc", "name all\nversion 7.2\nmember routing.desc\nmember wireless.desc\ndisabled wireless\n");
  root.makeDir("/rw/pckg/.download");
  build(root, "/src/alpha.desc", "/rw/pckg/.download/alpha.npk");
  build(root, "/src/all.desc", "/rw/pckg/.download/all.npk");
  ASSERT_EQ(0, runInstaller(root, {"-q"}).status);
  // A second claim on a file.
  root.write("/flash/var/pdb/routing/files", root.read("/flash/var/pdb/routing/files") + "etc/alpha\n");
  const std::string passwd = "/flash/var/pdb/alpha/files";
  const struct {
    std::function<void()> change;
    std::vector<std::string> args;
    int status;
    const char* out;
  } rows[] = {
      {{}, {}, 0, "all 7.2\nalpha 1.0\nrouting 7.2 bundle=all\nwireless 7.2 disabled bundle=all\n"},
      {{}, {"--files", "alpha"}, 0, "/flash/bin/tool\n/flash/etc/alpha\n"},
      {{}, {"--files", "wireless"}, 0, "/flash/x/wireless/lib/wireless\n"},
      {{}, {"--files", "alp"}, 1, ""},
      {{}, {"--owner", "/flash//etc/alpha"}, 0, "alpha-1.0\nrouting-7.2\n"},
      {{}, {"--owner", "/flash/etc"}, 1, ""},
      {{}, {"--check"}, 0, ""},
      {[&] {
         unlink(root.host("/flash/etc/routing").c_str());
         root.write("/flash/etc/stray", "");
         symlink("/etc", root.host("/flash/etc/out").c_str());
       },
       {"--check"}, 1,
       "missing: /flash/etc/routing (routing-7.2)\nunowned: /flash/etc/out\nunowned: /flash/etc/stray\n"},
      {[&] {
         root.write("/etc/passwd", "etc/inroot\n");
         unlink(root.host(passwd).c_str());
         symlink("/etc/passwd", root.host(passwd).c_str());
       },
       {"--files", "alpha"}, 0, "/flash/etc/inroot\n"},
      {[&] {
         unlink(root.host(passwd).c_str());
         symlink("../../../../../../../../../../etc/passwd", root.host(passwd).c_str());
       },
       {"--files", "alpha"}, 0, "/flash/etc/inroot\n"},
      {{}, {"--files"}, 2, ""},
      {{}, {"--check", "--owner", "/flash/etc/alpha"}, 2, ""},
  };
  for (const auto& row : rows) {
    if (row.change) row.change();
    const auto before = snapshot(root.path());
    std::vector<std::string> args = {"query", root.path()};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const ProgramResult result = pkgtool(args);
    EXPECT_EQ(row.status, result.status) << args.back() << result.err;
    EXPECT_EQ(row.out, result.out) << args.back();
    EXPECT_TRUE(before == snapshot(root.path())) << args.back();
  }
  for (const std::string& unreadable : {root.host("/src"), root.host("/src/alpha.desc"), root.host("/none")})
    EXPECT_EQ(2, pkgtool({"query", unreadable}).status) << unreadable;
}

}  // namespace
