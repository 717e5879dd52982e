#include "install/download_scan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

TEST(ScanDownloads, ReadsPackageFilesAndReportsBrokenOnes) {
  using namespace testpkg;
  PrivateRoot root;
  const std::string web = packageFile(part(1, headerData("web", 0x01006600)));
  for (const char* name : {"/dl/web.npk", "/dl/.hidden.npk", "/dl/WEB.NPK", "/dl/web.npk.txt"})
    root.write(name, web);
  root.write("/dl/dns.dpk", packageFile(part(1, headerData("dns", 0x02006600))));
  root.write("/dl/broken.npk", "not a package");

  PackageDb db;
  std::vector<std::unique_ptr<PackageFile>> list;
  scanDownloads(db, root.host("/dl/"), list);
  scanDownloads(db, root.host("/missing/"), list);
  std::vector<std::string> found;
  for (const auto& file : list) found.push_back(file->displayName() + " " + file->path);
  std::sort(found.begin(), found.end());
  EXPECT_EQ((std::vector<std::string>{"dns-2.0 " + root.host("/dl/dns.dpk"),
                                      "web-1.0 " + root.host("/dl/web.npk")}),
            found);
  EXPECT_EQ(std::vector<std::string>{"ERROR: broken package broken.npk"}, db.messages);
}

}  // namespace
