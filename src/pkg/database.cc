#include "pkg/database.h"

#include <dirent.h>

#include "pkg/console.h"

void loadDatabase(PackageDb& db, bool quiet, const std::string& systemArch) {
  db.quiet = quiet;
  db.systemArch = systemArch;
  DIR* repo = opendir("/flash/var/pdb/");
  if (!repo) {
    printWarning(db, "could not open repo");
    return;
  }
  closedir(repo);
}
