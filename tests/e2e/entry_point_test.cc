// The installer as its callers start it: arguments, statuses and what the
// run leaves on disk, in a private root.
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/private_root.h"

namespace {

const std::string kUsage = "usage: installer [-q] [-r <root>] [-]\n";

TEST(EntryPoint, UsageForUnknownArgumentsAndALoneRoot) {
  PrivateRoot root;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--bogus"}, {"-q", "-r"}, {"--SHOW"}}) {
    const ProgramResult result = runProgram(installerPath(), args);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(kUsage, result.out);
    EXPECT_EQ("", result.err);
  }
  const ProgramResult inRoot = runInstaller(root, {"--reinstall", "-x"});
  EXPECT_EQ(0, inRoot.status);
  EXPECT_EQ("\nResuming upgrade...\n" + kUsage, inRoot.out);
}

TEST(EntryPoint, FailedRootChangeChangesNothing) {
  PrivateRoot root;
  const ProgramResult result =
      runProgram(installerPath(), {"-r", root.host("/no/such/dir"), "--show"});
  EXPECT_NE(0, result.status);
  EXPECT_EQ("chroot: No such file or directory\n", result.err);
  EXPECT_EQ("", result.out);
}

TEST(EntryPoint, DefaultModeWithNothingToDoChangesNothing) {
  PrivateRoot root;
  for (const char* safe : {"--safe", "-b"}) {
    const ProgramResult result = runInstaller(root, {safe});
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_FALSE(root.exists("/flash/PCKGS_CHANGED"));
    EXPECT_FALSE(root.exists("/ram/MANIFEST"));
  }
}

TEST(EntryPoint, MissingDatabaseIsAWarning) {
  PrivateRoot root;
  rmdir(root.host("/flash/var/pdb").c_str());
  root.write("/flash/var/pdb", "");  // a file where the directory should be
  ProgramResult result = runInstaller(root, {"--show"});
  EXPECT_EQ(0, result.status);
  const std::string warning = "WARNING: could not open repo\n";
  EXPECT_EQ(warning, result.out.substr(0, warning.size()));
  EXPECT_EQ(warning.size() + 2 * 95, result.out.size());  // and an empty table
  result = runInstaller(root, {"-q", "--show"});
  EXPECT_EQ(2u * 95, result.out.size());
}

TEST(SavedManifest, CommitAppliesItInTheCurrentRoot) {
  PrivateRoot root;
  root.write("/ram/staged1", "new content");
  root.write("/flash/old/file", "old");
  root.write("/flash/gone", "x");
  root.write("/ram/MANIFEST",
             "U /flash/gone\n"
             "M /flash/new/dir/file /ram/staged1\n"
             "L /flash/link /flash/new/dir/file\n");
  // A root named before --commit is not changed to: --commit acts at once.
  const ProgramResult result =
      runInstallerInside(root, {"-q", "-r", "/nonexistent", "--commit", "--bogus"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ("finishing install... ", result.out.substr(0, 21));
  EXPECT_EQ("\b \n", result.out.substr(result.out.size() - 3));
  EXPECT_EQ("new content", root.read("/flash/new/dir/file"));
  EXPECT_FALSE(root.exists("/flash/gone"));
  char link[64] = {};
  EXPECT_LT(0, readlink(root.host("/flash/link").c_str(), link, sizeof link - 1));
  EXPECT_STREQ("/flash/new/dir/file", link);
  EXPECT_TRUE(root.exists("/ram/MANIFEST"));  // the file stays
}

TEST(SavedManifest, CommitWithoutAManifest) {
  PrivateRoot root;
  const ProgramResult result = runInstallerInside(root, {"--commit"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("finishing install... \b \n", result.out);
}

TEST(SavedManifest, CancelDropsStagedFilesButNotDownloads) {
  PrivateRoot root;
  root.write("/ram/tmpAb12Z9", "staged by an earlier run");
  root.write("/flash/tmpQw3rty", "staged on flash");
  root.write("/rw/pckg/.download/system-1.0.npk", "a downloaded package");
  root.write("/ram/MANIFEST",
             "M /flash/a /ram/tmpAb12Z9\n"
             "M /flash/b /flash/tmpQw3rty\n"
             "M /flash/var/pdb/system/image /rw/pckg/.download/system-1.0.npk\n"
             "U /flash/c\n");
  root.write("/flash/c", "stays");
  const ProgramResult result = runInstallerInside(root, {"--cancel"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ("", result.out);
  EXPECT_FALSE(root.exists("/ram/MANIFEST"));
  EXPECT_FALSE(root.exists("/ram/tmpAb12Z9"));
  EXPECT_FALSE(root.exists("/flash/tmpQw3rty"));
  EXPECT_EQ("a downloaded package", root.read("/rw/pckg/.download/system-1.0.npk"));
  EXPECT_EQ("stays", root.read("/flash/c"));
  EXPECT_FALSE(root.exists("/flash/a"));
}

}  // namespace
