// pkgtool through its built binary: what `build` writes, `inspect` shows and
// `verify` accepts. The installer installing what pkgtool built is the
// business of the end-to-end tests, whose packages are all made by it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/private_root.h"

namespace {


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
  for (const char* name : {"/garbage", "/empty", "/short", "/longer", "/magic", "/missing", "/directory.npk"}) {
    EXPECT_EQ(2, pkgtool({"verify", "-q", w.host(name)}).status) << name;
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
          "name routeros\nversion 7.2\nbuilt 2000\nnote all of it\nimage\nmember a.desc\nmember b.desc\n"
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
}

}  // namespace
