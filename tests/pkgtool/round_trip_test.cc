// pkgtool through its built binary: what `build` writes, `inspect` shows and
// `verify` accepts. The installer installing what pkgtool built is the
// business of the end-to-end tests, whose packages are all made by it.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/private_root.h"
#include "support/workspace.h"
#include "verify_command.h"

namespace {

// Builds the description into out, signed in mode with the test keys.
void build(const Workspace& w, const std::string& description, const std::string& out,
           const std::string& mode = "both") {
  const ProgramResult result =
      pkgtool({"build", "-k", TEST_KEY_FILE, "-s", mode, "-o", w.path(out), w.path(description)});
  ASSERT_EQ(0, result.status) << result.err;
}

int verifyStatus(const Workspace& w, const std::string& file) {
  return pkgtool({"verify", "-q", w.path(file)}).status;
}

void writeTree(const Workspace& w, const std::string& dir) {
  w.write(dir + "/etc/motd", "hello\n");
  w.write(dir + "/bin/tool", "#!/bin/sh\necho tool\n", 0755);
  symlink("tool", w.path(dir + "/bin/link").c_str());
  w.makeDir(dir + "/var/empty");
}

// A package of every kind of metadata.
const char kFullDescription[] =
    "# every directive of a package on its own\n"
    "name system\n"
    "version 2.5beta3\n"
    "built 2024-01-31 12:00:00\n"
    "flags boot no-meta\n"
    "arch powerpc\n"
    "note The base system\n"
    "text2 second text\n"
    "text24 first text\n"
    "depends routing >= 2.5 <= 2.9\n"
    "depends dhcp\n"
    "provides wifi = 2.5 extra -1\n"
    "conflicts oldsys >= 1.0\n"
    "image boot.img\n"
    "files tree\n"
    "hw 3 bin\n"
    "hw 0 bin/link\n";

void expectLinesInOrder(const std::string& text, const std::vector<std::string>& lines) {
  size_t at = 0;
  for (const std::string& line : lines) {
    const size_t found = text.find(line, at);
    ASSERT_NE(std::string::npos, found) << "missing, or out of order: " << line << "\nin:\n"
                                        << text;
    at = found + line.size();
  }
}

// With a file that compresses to several chunks, listed only when all of it
// was put in.
TEST(PkgtoolBuild, InspectShowsWhatWasPutIn) {
  Workspace w;
  writeTree(w, "tree");
  std::string noise(300000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
  w.write("tree/lib/noise", noise);
  w.write("boot.img", std::string(100, 'B'));
  w.write("system.desc", kFullDescription);
  build(w, "system.desc", "system.npk");

  const ProgramResult result = pkgtool({"inspect", w.path("system.npk")});
  ASSERT_EQ(0, result.status) << result.err;
  expectLinesInOrder(result.out,
                     {"package file",
                      "magic 0xbad0f11e",
                      "  1 package header",
                      " 24 text 24",
                      " 16 architecture",
                      "  2 text 2",
                      " 23 note",
                      "  3 dependencies",
                      " 19 provides",
                      " 17 conflicts",
                      "       100  21 image",
                      "  4 files",
                      "       132   9 signature",
                      "package system-2.5beta3",
                      "built      2024-01-31 12:00:00 UTC (1706702400)",
                      "flags      0x00000003 boot no-meta",
                      "arch       powerpc",
                      "note       The base system",
                      "text2      second text",
                      "text24     first text",
                      "depends    routing >= 2.5 <= 2.9",
                      "depends    dhcp\n",
                      "provides   wifi = 2.5 extra -1",
                      "conflicts  oldsys >= 1.0\n",
                      "image      yes",
                      "files      9 entries",
                      "0040755   3          0  bin\n",
                      "0120777   0          4  bin/link\n",
                      "0100755   3         20  bin/tool\n",
                      "0040755   0          0  etc\n",
                      "0100644   0          6  etc/motd\n",
                      "0100644   0     300000  lib/noise\n",
                      "0040755   0          0  var\n",
                      "0040755   0          0  var/empty\n",
                      "signature  EdDSA (level 2) over a SHA-1 digest, level 1 required: ok"});
}

// 7.2 needs EdDSA, 6.40 the legacy signature, whatever the digest and magic.
TEST(PkgtoolVerify, StatusFollowsSigningModeDigestAndVersion) {
  Workspace w;
  writeTree(w, "tree");
  const char* const modes[] = {"none", "legacy", "eddsa", "both"};
  const struct {
    const char* version;
    const char* extra;
    int status[4];  // by mode
  } rows[] = {
      {"7.2", "", {1, 1, 0, 0}},          {"6.40", "", {1, 0, 0, 0}},
      {"7.2", "sha256\n", {1, 1, 0, 0}},  {"6.40", "untracked\nsha256\n", {1, 0, 0, 0}},
      {"7.2", "untracked\n", {1, 1, 0, 0}},
  };
  for (const auto& row : rows) {
    w.write("p.desc", std::string("name tool\nversion ") + row.version + "\nfiles tree\n" + row.extra);
    for (int mode = 0; mode < 4; ++mode) {
      build(w, "p.desc", "p.npk", modes[mode]);
      EXPECT_EQ(row.status[mode], verifyStatus(w, "p.npk")) << row.version << " " << row.extra << modes[mode];
    }
  }
  // The last one with a byte of its payload changed.
  std::string bad = w.read("p.npk");
  bad[bad.size() - 140] ^= 1;
  w.write("p.npk", bad);
  EXPECT_EQ(1, verifyStatus(w, "p.npk"));
}

TEST(PkgtoolInspect, ShowsDigestKindAndUntrackedMagic) {
  Workspace w;
  w.write("p.desc", "name tool\nversion 7.2\nuntracked\nsha256\n");
  build(w, "p.desc", "p.npk", "legacy");
  const ProgramResult result = pkgtool({"inspect", w.path("p.npk")});
  ASSERT_EQ(0, result.status) << result.err;
  expectLinesInOrder(result.out, {"untracked package file", "magic 0xa1100ffb",
                                  " 25 SHA-256 marker", "  1 package header", "  9 signature",
                                  "legacy (level 1) over a SHA-256 digest, level 2 required: "
                                  "NOT ENOUGH"});
  EXPECT_EQ(std::string::npos, result.out.find("  4 files"));  // no `files` line, no part
  const ProgramResult verify = pkgtool({"verify", w.path("p.npk")});
  EXPECT_EQ(1, verify.status);
  EXPECT_NE(std::string::npos, verify.out.find("tool-7.2: legacy, level 2 required: NOT ENOUGH"));
}

TEST(PkgtoolVerify, UnreadableFilesGiveTwo) {
  Workspace w;
  w.write("p.desc", "name tool\nversion 7.2\n");
  build(w, "p.desc", "p.npk");
  const std::string good = w.read("p.npk");
  w.write("garbage", "this is no package file at all");
  w.write("empty", "");
  w.write("short", good.substr(0, good.size() - 1));
  w.write("longer", good + "x");
  w.write("magic", "\x1e\xf1\xd0\xbb" + good.substr(4));
  w.makeDir("directory.npk");
  for (const char* name : {"garbage", "empty", "short", "longer", "magic", "missing", "directory.npk"}) {
    EXPECT_EQ(2, verifyStatus(w, name)) << name;
    const ProgramResult inspect = pkgtool({"inspect", w.path(name)});
    EXPECT_EQ(2, inspect.status) << name;
    EXPECT_NE(std::string::npos, inspect.err.find("not a readable package file")) << name;
  }
}

TEST(PkgtoolVerify, SecureMarkerDemandsEddsaOfEveryPackage) {
  PrivateRoot root;
  Workspace w;
  w.write("p.desc", "name tool\nversion 6.40\n");
  build(w, "p.desc", "p.npk", "legacy");
  root.write("/p.npk", w.read("p.npk"));
  EXPECT_TRUE(runInRoot(root, [] { EXPECT_EQ(0, verifyFile("/p.npk", true)); }));
  root.write("/ram/SECURE", "");
  EXPECT_TRUE(runInRoot(root, [] { EXPECT_EQ(1, verifyFile("/p.npk", true)); }));
}

void writeBundle(const Workspace& w, const std::string& secondSignature) {
  w.write("a/etc/a", "member a\n");
  w.write("b/lib/b", "member b\n");
  w.write("a.desc", "name routing\nversion 7.2\nfiles a\nprovides routing-api\n");
  w.write("b.desc", "name wireless\nversion 7.2\nbuilt 1000\nfiles b\n" + secondSignature);
  w.write("bundle.desc",
          "name routeros\nversion 7.2\nbuilt 2000\nnote all of it\nimage\n"
          "member a.desc\nmember b.desc\ndisabled wireless\n");
}

// A member without a build time takes the bundle's.
TEST(PkgtoolBundle, MembersFollowTheBundleAndItsList) {
  Workspace w;
  writeBundle(w, "");
  build(w, "bundle.desc", "bundle.npk");
  const ProgramResult result = pkgtool({"inspect", w.path("bundle.npk")});
  ASSERT_EQ(0, result.status) << result.err;
  expectLinesInOrder(result.out, {" 18 bundle header",
                                  " 23 note",
                                  " 21 image",
                                  " 20 bundle list",
                                  "  1 package header",
                                  " 19 provides",
                                  "  4 files",
                                  "  9 signature",
                                  "  1 package header",
                                  "  4 files",
                                  "  9 signature",
                                  "bundle routeros-7.2",
                                  "note       all of it",
                                  "disabled   wireless",
                                  "member routing-7.2",
                                  "(2000)",
                                  "provides   routing-api",
                                  "0100644   0          9  etc/a",
                                  "signature  EdDSA",
                                  "member wireless-7.2",
                                  "(1000)",
                                  "0100644   0          9  lib/b",
                                  "signature  EdDSA"});
  EXPECT_EQ(0, verifyStatus(w, "bundle.npk"));
}

TEST(PkgtoolBundle, EveryMemberMustReachItsLevel) {
  Workspace w;
  for (const char* signature : {"signature none\n", "signature legacy\n"}) {
    writeBundle(w, signature);
    build(w, "bundle.desc", "bundle.npk", "both");
    const ProgramResult result = pkgtool({"verify", w.path("bundle.npk")});
    EXPECT_EQ(1, result.status) << signature;
    EXPECT_NE(std::string::npos, result.out.find("routing-7.2: EdDSA, level 2 required: ok"));
    EXPECT_NE(std::string::npos, result.out.find("wireless-7.2: ")) << result.out;
  }
}

}  // namespace
