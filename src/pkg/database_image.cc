#include "pkg/database_image.h"

void loadImageRecords(PackageDb&, const std::string&, const std::string&) {}
