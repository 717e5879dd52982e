// pkgtool's arguments and the errors in descriptions.
#include <gtest/gtest.h>
#include <unistd.h>

#include "installer_version.h"
#include "support/private_root.h"
#include "support/workspace.h"

namespace {

TEST(PkgtoolCommandLine, HelpAndWrongArguments) {
  for (const char* help : {"--help", "-h", "help"}) {
    const ProgramResult result = pkgtool({help});
    EXPECT_EQ(0, result.status) << help;
    EXPECT_NE(std::string::npos, result.out.find("/ram/SECURE")) << help;
  }
  EXPECT_EQ(0, pkgtool({"verify", "--help"}).status);
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate"},
      {"verify"},
      {"verify", "a", "b"},
      {"inspect", "--bogus", "x"},
      {"build"},
      {"build", "-s", "strong", "x.desc"},
      {"build", "-o"},
      {"build", "-o", "a", "-o", "b", "x.desc"},
  };
  for (const std::vector<std::string>& args : wrong) {
    const ProgramResult result = pkgtool(args);
    EXPECT_EQ(2, result.status) << (args.empty() ? "" : args[0]);
    EXPECT_NE(std::string::npos, result.err.find("usage")) << (args.empty() ? "" : args[0]);
  }
}

TEST(PkgtoolCommandLine, VersionIsTheProjectVersion) {
  const ProgramResult result = pkgtool({"--version"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(std::string("pkgtool ") + INSTALLER_VERSION + "\n", result.out);
}

TEST(PkgtoolBuild, DescriptionErrorsNameFileAndLine) {
  Workspace w;
  w.write("tree/etc/x", "x");
  w.write("member.desc", "name member\nversion 1.0\n");
  struct Row {
    const char* text;
    const char* error;
  };
  const Row rows[] = {
      {"name a\nversion 1.0\ncolour blue\n", "d.desc:3: unknown directive 'colour'"},
      {"name a\nversion 1.0beta\nversion 1.1\n", "d.desc:3: version given twice"},
      {"name a\nversion 1.x\n", "d.desc:2: version: '1.x' is not a version"},
      {"name a/b\n", "d.desc:1: name: 'a/b' is not a package name"},
      {"name seventeen-chars-x\n", "is not a package name"},
      {"version 1.0\n", "d.desc: no name"},
      {"name a\n", "d.desc: no version"},
      {"name a\nversion 1.0\ndepends b >= 2.0 <= 1.0\n", "d.desc:3: depends: the lowest"},
      {"name a\nversion 1.0\ndepends b >> 2.0\n", "d.desc:3: depends: '>>' is none of"},
      {"name a\nversion 1.0\nprovides b extra x\n", "d.desc:3: provides: extra 'x'"},
      {"name a\nversion 1.0\nflags fast\n", "d.desc:3: flags: 'fast'"},
      {"name a\nversion 1.0\nbuilt yesterday\n", "d.desc:3: built:"},
      {"name a\nversion 1.0\nfiles tree\nhw 3 etc/y\n", "d.desc:4: hw: no entry etc/y"},
      {"name a\nversion 1.0\nhw 3 etc/x\n", "d.desc: hw: the package has no files"},
      {"name a\nversion 1.0\nfiles nowhere\n", "nowhere: not a directory"},
      {"name a\nversion 1.0\nsignature strong\n", "d.desc:3: signature: 'strong'"},
      {"name a\nversion 1.0\nmember member.desc\ndepends b\n", "a bundle carries no depends"},
      {"name a\nversion 1.0\nmember member.desc\nfiles tree\n", "a bundle has no files"},
      {"name member\nversion 1.0\nmember member.desc\n", "is named like the bundle"},
      {"name a\nversion 1.0\nmember member.desc\nmember member.desc\n", "two members are named"},
      {"name a\nversion 1.0\nmember d.desc\n", "d.desc:3: member: "},
      {"name a\nversion 1.0\nmember none.desc\n", "none.desc: cannot be read"},
      {"name a\nversion 1.0\ndisabled b\n", "disabled: only a bundle"},
  };
  for (const Row& row : rows) {
    w.write("d.desc", row.text);
    const ProgramResult result =
        pkgtool({"build", "-s", "none", "-o", w.path("out.npk"), w.path("d.desc")});
    EXPECT_EQ(1, result.status) << row.text;
    EXPECT_NE(std::string::npos, result.err.find(row.error)) << row.text << "\n" << result.err;
  }
}

TEST(PkgtoolBuild, SigningNeedsUsableKeysAndLeavesNothingOnFailure) {
  Workspace w;
  w.write("d.desc", "name a\nversion 1.0\n");
  w.write("public.txt",
          "eddsa-public 3d258992334850a7c7668fe4f6e11b1234bc38282144fc8698cb4717c8fd9e24\n");
  ProgramResult result = pkgtool({"build", "-o", w.path("out.npk"), w.path("d.desc")});
  EXPECT_EQ(1, result.status);
  EXPECT_NE(std::string::npos, result.err.find("--keys")) << result.err;
  result = pkgtool({"build", "-k", w.path("public.txt"), "-s", "eddsa", "-o", w.path("out.npk"),
                    w.path("d.desc")});
  EXPECT_EQ(1, result.status);
  EXPECT_NE(std::string::npos, result.err.find("eddsa-seed: missing")) << result.err;
  // The image file is missing: found out once the file is being written.
  w.write("e.desc", "name a\nversion 1.0\nnote n\nimage missing.img\n");
  result = pkgtool({"build", "-s", "none", "-o", w.path("out.npk"), w.path("e.desc")});
  EXPECT_EQ(1, result.status);
  EXPECT_NE(std::string::npos, result.err.find("missing.img")) << result.err;
  EXPECT_EQ(0, system(("test -z \"$(ls -A " + w.path("") + " | grep npk)\"").c_str()));
}

TEST(PkgtoolBuild, DefaultOutputIsNameAndVersionInTheCurrentDirectory) {
  Workspace w;
  w.write("d.desc", "name tool\nversion 2.5rc1\n");
  char previous[4096];
  ASSERT_TRUE(getcwd(previous, sizeof previous));
  ASSERT_EQ(0, chdir(w.path("").c_str()));  // the child starts here
  const ProgramResult result = pkgtool({"build", "-s", "none", "d.desc"});
  ASSERT_EQ(0, chdir(previous));
  ASSERT_EQ(0, result.status) << result.err;
  EXPECT_EQ("built tool-2.5rc1.npk\n", result.out);
  EXPECT_NE("", w.read("tool-2.5rc1.npk"));
}

}  // namespace
