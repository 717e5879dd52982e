// pkgtool's arguments, the errors in descriptions and key files, and what a
// build leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include "installer_version.h"
#include "support/private_root.h"

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

}  // namespace
