// Packages kept whole in the database: the package file becomes the image
// in the package's database directory, or, for the boot image on a device
// that asks for one, /flash/bootimage with the image a link to it.
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/install_support.h"
#include "support/private_root.h"

namespace {

using e2e::Pkg;
using Lines = std::vector<std::string>;

Pkg kernel(const e2e::PackageShop& shop, const std::string& version, bool boot) {
  shop.write("kernel-" + version + ".img", std::string(5000, 'K') + version);
  Pkg pkg{"kernel", version, {"image kernel-" + version + ".img"},
          {{"etc/kernel.conf", "kernel " + version + "\n"}}};
  if (boot) pkg.lines.push_back("flags boot");
  if (version == "1.0") pkg.files["etc/kernel.old"] = "only in 1.0\n";
  return pkg;
}

TEST(ImagePackage, StreamKeepsTheWholeFileAndTracksItsFiles) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string one = shop.build(kernel(shop, "1.0", false));
  e2e::installFromStdin(root, one);
  EXPECT_TRUE(one == root.read("/flash/var/pdb/kernel/image"));
  EXPECT_EQ("kernel 1.0\n", root.read("/flash/etc/kernel.conf"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/kernel/version"));  // the image describes it
  EXPECT_FALSE(root.exists("/flash/var/pdb/image"));
  EXPECT_FALSE(root.exists("/flash/UPGRADED"));
  EXPECT_EQ(Lines{"kernel"}, e2e::shownNames(root));

  // The upgrade removes what the new version no longer holds.
  const std::string two = shop.build(kernel(shop, "2.0", false));
  e2e::installFromStdin(root, two);
  EXPECT_TRUE(two == root.read("/flash/var/pdb/kernel/image"));
  EXPECT_EQ("kernel 2.0\n", root.read("/flash/etc/kernel.conf"));
  EXPECT_FALSE(root.exists("/flash/etc/kernel.old"));
  EXPECT_EQ((Lines{"installed kernel-1.0", "installed kernel-2.0"}), e2e::postLog(root));
}

TEST(ImagePackage, BootImageInStreamMode) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string one = shop.build(kernel(shop, "1.0", true));
  {
    // Without "bootimage" in the environment a boot package is an image
    // package like any other, its files unpacked.
    e2e::installFromStdin(root, one);
    EXPECT_TRUE(one == root.read("/flash/var/pdb/kernel/image"));
    EXPECT_EQ("kernel 1.0\n", root.read("/flash/etc/kernel.conf"));
    EXPECT_FALSE(root.exists("/flash/bootimage"));
    EXPECT_TRUE(root.exists("/flash/UPGRADED"));
  }
  unlink(root.host("/flash/UPGRADED").c_str());
  e2e::ScopedEnv bootimage("bootimage", "");  // set, if empty
  const std::string two = shop.build(kernel(shop, "2.0", true));
  e2e::installFromStdin(root, two);
  EXPECT_TRUE(two == root.read("/flash/bootimage"));
  EXPECT_EQ("/flash/bootimage", e2e::linkText(root, "/flash/var/pdb/kernel/image"));
  EXPECT_EQ("", root.read("/flash/UPGRADED"));
  EXPECT_TRUE(root.exists("/flash/UPGRADED"));
  // The boot image is not unpacked; the old version's files are gone.
  EXPECT_FALSE(root.exists("/flash/etc/kernel.conf"));
  EXPECT_FALSE(root.exists("/flash/etc/kernel.old"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/image"));
  EXPECT_EQ(Lines{"kernel"}, e2e::shownNames(root));
}

// A boot package that is not kept whole: its copy becomes the boot image
// without a link; without "bootimage" no copy is kept.
TEST(ImagePackage, BootPackageWithoutImagePart) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string loader =
      shop.build(Pkg{"loader", "1.0", {"flags boot"}, {{"boot/loader.bin", "L"}}});
  {
    e2e::ScopedEnv bootimage("bootimage", "1");
    e2e::installFromStdin(root, loader);
  }
  EXPECT_TRUE(loader == root.read("/flash/bootimage"));
  EXPECT_FALSE(root.exists("/flash/boot/loader.bin"));
  EXPECT_FALSE(root.exists("/flash/var/pdb/image"));
  EXPECT_FALSE(root.exists("/image"));
  EXPECT_TRUE(root.exists("/flash/var/pdb/loader/version"));

  PrivateRoot plain;
  e2e::installFromStdin(plain, loader);
  EXPECT_FALSE(plain.exists("/flash/bootimage"));
  EXPECT_FALSE(plain.exists("/flash/var/pdb/image"));
  EXPECT_EQ("L", plain.read("/flash/boot/loader.bin"));
}

TEST(ImagePackage, DownloadedFileIsMovedIntoPlace) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const std::string one = shop.build(kernel(shop, "1.0", true));
  e2e::download(root, one, "kernel-1.0.npk");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_TRUE(one == root.read("/flash/var/pdb/kernel/image"));
  EXPECT_FALSE(root.exists("/rw/pckg/.download/kernel-1.0.npk"));
  EXPECT_EQ("kernel 1.0\n", root.read("/flash/etc/kernel.conf"));

  e2e::ScopedEnv bootimage("bootimage", "");
  const std::string two = shop.build(kernel(shop, "2.0", true));
  e2e::download(root, two, "kernel-2.0.npk");
  ASSERT_EQ(0, runInstaller(root, {}).status);
  EXPECT_TRUE(two == root.read("/flash/bootimage"));
  EXPECT_EQ("/flash/bootimage", e2e::linkText(root, "/flash/var/pdb/kernel/image"));
  EXPECT_FALSE(root.exists("/rw/pckg/.download/kernel-2.0.npk"));
  EXPECT_FALSE(root.exists("/flash/etc/kernel.conf"));
  EXPECT_TRUE(root.exists("/flash/UPGRADED"));
  EXPECT_TRUE(root.exists("/flash/PCKGS_CHANGED"));
}

}  // namespace
