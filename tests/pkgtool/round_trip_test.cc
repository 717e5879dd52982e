// pkgtool through its built binary: what `build` writes, `inspect` shows,
// `verify` accepts, and the installer reads and installs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "pkgfile/package_info.h"
#include "support/private_root.h"
#include "verify_command.h"
#include "workspace.h"

namespace {

ProgramResult pkgtool(const std::vector<std::string>& args) {
  return runProgram(pkgtoolPath(), args);
}

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

TEST(PkgtoolBuild, InspectShowsWhatWasPutIn) {
  Workspace w;
  writeTree(w, "tree");
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
                      "files      7 entries",
                      "0040755   3          0  bin\n",
                      "0120777   0          4  bin/link\n",
                      "0100755   3         20  bin/tool\n",
                      "0040755   0          0  etc\n",
                      "0100644   0          6  etc/motd\n",
                      "0040755   0          0  var\n",
                      "0040755   0          0  var/empty\n",
                      "signature  EdDSA (level 2) over a SHA-1 digest, level 1 required: ok"});
}

TEST(PkgtoolBuild, InstallerReaderTakesTheMetadata) {
  Workspace w;
  writeTree(w, "tree");
  w.write("boot.img", "image");
  w.write("system.desc", kFullDescription);
  build(w, "system.desc", "system.npk");

  PackageFile file("");
  ASSERT_TRUE(readPackageFile(file, w.path("system.npk")));
  EXPECT_EQ("system", file.name);
  EXPECT_EQ(0x02056203u, file.version);
  EXPECT_EQ(1706702400u, file.buildTime);
  EXPECT_EQ(PF_BOOT | PF_NO_META, file.flags);
  EXPECT_EQ("powerpc", file.architecture);
  EXPECT_EQ("The base system", file.note);
  EXPECT_EQ("second text", file.partText2);
  EXPECT_EQ("first text", file.partText24);
  EXPECT_TRUE(file.isImage);
  EXPECT_FALSE(file.isBundle);
  EXPECT_FALSE(file.isUntracked);
  ASSERT_EQ(2u, file.deps.size());
  EXPECT_EQ("routing", file.deps[0].name);
  EXPECT_EQ(0x02056600u, file.deps[0].min);
  EXPECT_EQ(0x02096600u, file.deps[0].max);
  EXPECT_EQ(0u, file.deps[1].min);
  EXPECT_EQ(0u, file.deps[1].max);
  ASSERT_EQ(1u, file.provides.size());
  EXPECT_EQ(0x02056600u, file.provides[0].min);
  EXPECT_EQ(0x02056600u, file.provides[0].max);
  EXPECT_EQ(-1, file.provides[0].extra);
  ASSERT_EQ(1u, file.conflicts.size());
  EXPECT_EQ(0x01006600u, file.conflicts[0].min);
  EXPECT_EQ(0u, file.conflicts[0].max);
}

TEST(PkgtoolVerify, StatusFollowsSigningModeDigestAndVersion) {
  Workspace w;
  writeTree(w, "tree");
  struct Row {
    const char* version;  // 7.2 needs EdDSA, 6.40 the legacy signature
    const char* extra;
    const char* mode;
    int status;
  };
  const Row rows[] = {
      {"7.2", "", "none", 1},
      {"7.2", "", "legacy", 1},
      {"7.2", "", "eddsa", 0},
      {"7.2", "", "both", 0},
      {"6.40", "", "none", 1},
      {"6.40", "", "legacy", 0},
      {"6.40", "", "eddsa", 0},
      {"6.40", "sha256\n", "legacy", 0},
      {"7.2", "sha256\n", "legacy", 1},
      {"7.2", "sha256\n", "both", 0},
      {"7.2", "untracked\n", "both", 0},
      {"7.2", "untracked\nsha256\n", "eddsa", 0},
      {"6.40", "untracked\n", "legacy", 0},
  };
  for (const Row& row : rows) {
    const std::string what = std::string(row.version) + " " + row.extra + row.mode;
    w.write("p.desc",
            std::string("name tool\nversion ") + row.version + "\nfiles tree\n" + row.extra);
    build(w, "p.desc", "p.npk", row.mode);
    EXPECT_EQ(row.status, verifyStatus(w, "p.npk")) << what;
  }
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

// The offset of the first byte of text in the file.
size_t offsetOf(const std::string& bytes, const std::string& text) {
  const size_t at = bytes.find(text);
  EXPECT_NE(std::string::npos, at) << text;
  return at;
}

TEST(PkgtoolVerify, AnyChangedByteBetweenHeaderAndSignatureIsCaught) {
  Workspace w;
  writeTree(w, "tree");
  w.write("p.desc", "name tool\nversion 7.2\nnote signed note\nsha256\nfiles tree\n");
  build(w, "p.desc", "p.npk", "both");
  ASSERT_EQ(0, verifyStatus(w, "p.npk"));
  const std::string good = w.read("p.npk");
  const size_t header = offsetOf(good, std::string("tool\0", 5));
  const size_t signatureData = good.size() - 132;
  for (const size_t at : {header + 16, header + 20, offsetOf(good, "signed note"),
                          signatureData - 20, signatureData - 1, signatureData + 70}) {
    std::string bad = good;
    bad[at] ^= 0x01;
    w.write("bad.npk", bad);
    EXPECT_EQ(1, verifyStatus(w, "bad.npk")) << "byte " << at;
  }
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
  for (const char* name : {"garbage", "empty", "short", "longer", "magic", "missing"}) {
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

TEST(PkgtoolBundle, MembersFollowTheBundleAndItsList) {
  Workspace w;
  writeBundle(w, "");
  build(w, "bundle.desc", "bundle.npk");

  PackageFile file("");
  ASSERT_TRUE(readPackageFile(file, w.path("bundle.npk")));
  EXPECT_TRUE(file.isBundle);
  EXPECT_EQ("routeros", file.name);
  EXPECT_EQ("all of it", file.note);
  EXPECT_TRUE(file.deps.empty());
  ASSERT_EQ(2u, file.members.size());
  EXPECT_EQ("routing", file.members[0]->name);
  EXPECT_EQ(2000u, file.members[0]->buildTime);  // the bundle's
  ASSERT_EQ(1u, file.members[0]->provides.size());
  EXPECT_EQ("wireless", file.members[1]->name);
  EXPECT_EQ(1000u, file.members[1]->buildTime);

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
                                  "disabled   wireless",
                                  "member routing-7.2",
                                  "provides   routing-api",
                                  "0100644   0          9  etc/a",
                                  "signature  EdDSA",
                                  "member wireless-7.2",
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

TEST(PkgtoolInstall, InstallerInstallsWhatWasBuilt) {
  Workspace w;
  writeTree(w, "tree");
  std::string big;  // several compression and copy chunks
  for (int i = 0; big.size() < 300000; ++i) big += std::to_string(i * 7919 % 10007) + ",";
  w.write("tree/lib/big", big);
  w.write("p.desc", "name tool\nversion 7.2\nfiles tree\n");
  build(w, "p.desc", "p.npk");

  PrivateRoot root;
  const ProgramResult result = runInstaller(root, {"-q", "-"}, w.read("p.npk"));
  EXPECT_EQ(0, result.status) << result.out << result.err;
  EXPECT_EQ("hello\n", root.read("/flash/etc/motd"));
  EXPECT_EQ(big, root.read("/flash/lib/big"));
  EXPECT_TRUE(root.exists("/flash/var/pdb/tool/version"));
}

TEST(PkgtoolInstall, InstallerInstallsBundlesAndUntrackedPackages) {
  Workspace w;
  writeBundle(w, "");
  build(w, "bundle.desc", "bundle.npk", "eddsa");
  PrivateRoot root;
  ProgramResult result = runInstaller(root, {"-q", "-"}, w.read("bundle.npk"));
  EXPECT_EQ(0, result.status) << result.out << result.err;
  EXPECT_EQ("member a\n", root.read("/flash/etc/a"));
  EXPECT_EQ("member b\n", root.read("/flash/x/wireless/lib/b"));  // listed as disabled

  w.write("u/etc/u", "untracked\n");
  w.write("u.desc", "name loose\nversion 7.2\nuntracked\nfiles u\n");
  build(w, "u.desc", "u.npk", "both");
  result = runInstaller(root, {"-q", "-"}, w.read("u.npk"));
  EXPECT_EQ(0, result.status) << result.out << result.err;
  EXPECT_EQ("untracked\n", root.read("/flash/etc/u"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/loose"));
}

}  // namespace
