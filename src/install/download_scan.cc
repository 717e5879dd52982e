#include "install/download_scan.h"

#include <dirent.h>

#include "pkg/console.h"
#include "pkgfile/package_info.h"

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isPackageFileName(const std::string& name) {
  return !name.empty() && name[0] != '.' && (endsWith(name, ".npk") || endsWith(name, ".dpk"));
}

}  // namespace

void scanDownloads(PackageDb& db, const std::string& directory,
                   std::vector<std::unique_ptr<PackageFile>>& list) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!isPackageFileName(name)) continue;
    auto file = std::make_unique<PackageFile>("");
    if (readPackageFile(*file, directory + name))
      list.push_back(std::move(file));
    else
      printError(db, "broken package %s", name.c_str());
  }
  closedir(dir);
}
