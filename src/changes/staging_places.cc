#include "changes/staging_places.h"

#include "platform/guarded_path.h"

bool isBelowStagingPlace(const std::string& path) { return depthInPlace(path) > 0; }

bool isStagingDirectoryPath(const std::string& directory) { return depthInPlace(directory) >= 0; }
