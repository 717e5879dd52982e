// Only what the package maker signed is installed: tampered and truncated
// package files, and the signature level each package needs.
#include <gtest/gtest.h>

#include "e2e/install_support.h"
#include "support/private_root.h"

namespace {

using e2e::Pkg;
using Lines = std::vector<std::string>;

Pkg alpha(const std::string& version) {
  std::string data;
  for (int i = 0; i < 2000; ++i) data += std::to_string(i * 7919 % 1000) + " ";
  return Pkg{"alpha", version, {"note payload"}, {{"etc/alpha.conf", "alpha " + version + "\n"},
                                                  {"lib/alpha.data", data}}};
}

// Offsets of the parts of a package file: type -> offset of its part header.
std::map<int, size_t> partOffsets(const std::string& file) {
  std::map<int, size_t> offsets;
  size_t at = 8;
  for (const e2e::FilePart& part : e2e::splitParts(file)) {
    offsets.emplace(part.type, at);
    at += 6 + part.data.size();
  }
  return offsets;
}

void expectRefused(const PrivateRoot& root, const std::string& bytes,
                   const std::map<std::string, std::string>& before, const std::string& what) {
  const ProgramResult result = runInstaller(root, {"-"}, bytes);
  EXPECT_EQ(1, result.status) << what;
  EXPECT_EQ(before, e2e::snapshot(root, "/flash")) << what;
  EXPECT_FALSE(root.exists("/flash/var/pdb/image")) << what;
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram")) << what;
}

TEST(Integrity, TamperedOrTruncatedPackagesReachNothing) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(alpha("1.0")));
  const std::string good = shop.build(alpha("2.0"));
  const std::map<int, size_t> at = partOffsets(good);
  ASSERT_EQ(4u, at.size());
  const size_t header = at.at(1), files = at.at(4), signature = at.at(9);
  const auto before = e2e::snapshot(root, "/flash");

  // Both signatures have to be spoilt for the signature to fail: either
  // one suffices for a package of this version.
  const std::pair<std::vector<size_t>, const char*> tampered[] = {
      {{header + 6}, "the name"},
      {{header + 6 + 17}, "the version"},
      {{at.at(23) + 8}, "the note"},
      {{files + 2}, "the length of the files"},
      {{files + 6 + 40}, "the files"},
      {{signature - 1}, "the last byte before the signature"},
      {{signature}, "the signature's type"},
      {{signature + 6 + 20, signature + 6 + 68 + 5}, "the signature"},
  };
  for (const auto& change : tampered) {
    std::string bytes = good;
    for (size_t offset : change.first) bytes[offset] ^= 0x01;
    expectRefused(root, bytes, before, change.second);
  }
  const std::pair<size_t, const char*> truncated[] = {
      {5, "the file header"},
      {8, "before the first part"},
      {header + 3, "a part header"},
      {header + 20, "the package header"},
      {files + 6 + 30, "the files"},
      {signature, "before the signature"},
      {signature + 6 + 67, "the signature's first half"},
      {good.size() - 1, "the signature's last byte"},
  };
  for (const auto& cut : truncated)
    expectRefused(root, good.substr(0, cut.first), before, cut.second);

  for (const std::string& line : e2e::postLog(root))
    EXPECT_TRUE(line == "installed alpha-1.0" ||
                line == "ERROR: installation of alpha-2.0 failed: broken package" ||
                line == "ERROR: installation of `lpha-2.0 failed: broken package")  // the name
        << line;
  // The package as it was made still goes in.
  e2e::installFromStdin(root, good);
  EXPECT_EQ("alpha 2.0\n", root.read("/flash/etc/alpha.conf"));
}

TEST(Integrity, TamperedDownloadIsNotApplied) {
  PrivateRoot root;
  e2e::PackageShop shop;
  e2e::installFromStdin(root, shop.build(alpha("1.0")));
  std::string bytes = shop.build(alpha("2.0"));
  bytes[partOffsets(bytes).at(4) + 50] ^= 0x40;
  e2e::download(root, bytes, "alpha-2.0.npk");
  e2e::download(root, bytes.substr(0, bytes.size() - 10), "cut.npk");
  const auto before = e2e::snapshot(root, "/flash");

  EXPECT_EQ(0, runInstaller(root, {}).status);
  EXPECT_EQ(before, e2e::snapshot(root, "/flash"));
  EXPECT_EQ(Lines{}, e2e::temporaryFiles(root, "/ram"));
  EXPECT_EQ((Lines{"installed alpha-1.0", "ERROR: broken package cut.npk",
                   "ERROR: installation of alpha-2.0 failed: broken package"}),
            e2e::postLog(root));
}

TEST(Integrity, SignatureLevels) {
  PrivateRoot root;
  e2e::PackageShop shop;
  const Pkg recent{"omega", "7.2", {}, {{"etc/omega", "o"}}};  // needs the EdDSA signature
  const Pkg old{"psi", "6.40", {}, {{"etc/psi", "p"}}};        // the older one is enough
  const Pkg branding{"branding", "7.2", {}, {{"etc/logo", "l"}}};
  const auto before = e2e::snapshot(root, "/flash");

  expectRefused(root, shop.build(old, "none"), before, "unsigned");
  expectRefused(root, shop.build(recent, "legacy"), before, "7.2 with the older signature");
  EXPECT_EQ((Lines{"ERROR: installation of psi-6.40 failed: broken package",
                   "ERROR: installation of omega-7.2 failed: broken package"}),
            e2e::postLog(root));
  e2e::installFromStdin(root, shop.build(recent, "eddsa"));
  e2e::installFromStdin(root, shop.build(old, "legacy"));
  e2e::installFromStdin(root, shop.build(branding, "legacy"));
  EXPECT_EQ("o", root.read("/flash/etc/omega"));
  EXPECT_EQ("p", root.read("/flash/etc/psi"));
  EXPECT_EQ("l", root.read("/flash/etc/logo"));
  EXPECT_TRUE(root.exists("/flash/UPGRADED"));  // staged by every branding install

  // A device in secure mode takes nothing below the EdDSA signature.
  PrivateRoot secure;
  secure.write("/ram/SECURE", "");
  const auto empty = e2e::snapshot(secure, "/flash");
  expectRefused(secure, shop.build(old, "legacy"), empty, "secure, older signature");
  expectRefused(secure, shop.build(branding, "legacy"), empty, "secure, branding");
  e2e::installFromStdin(secure, shop.build(old, "eddsa"));
  EXPECT_EQ("p", secure.read("/flash/etc/psi"));
}

}  // namespace
