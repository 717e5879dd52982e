// Records of the packages kept as whole package files (images) in the
// database.
#pragma once

#include <dirent.h>

#include <string>

#include "pkg/package_db.h"
#include "platform/regular_file.h"

// Reads the image at path, when it is a regular file that opens (anything
// else there is said with a WARNING), and appends its records: a
// bundle's members (each naming the bundle) and then the bundle, or the one
// package. A record keeps what was read of it when a later metadata part
// fails. A package whose header cannot be read is still appended, named
// after its database entry with version 0, so that its meta files are read;
// a bundle whose header cannot be read appends nothing.
void loadImageRecords(PackageDb& db, const std::string& path, const std::string& entryName);

// While an object of this class lives, openDatabaseFile opens the paths
// below /flash/var/pdb/ relative to that directory, opened once: a load
// reads a few files of every package, and each walk down the full path
// costs more than the read. Not nested; for one thread.
class DatabaseDirectoryHold {
 public:
  DatabaseDirectoryHold();
  ~DatabaseDirectoryHold();
  DatabaseDirectoryHold(const DatabaseDirectoryHold&) = delete;
  DatabaseDirectoryHold& operator=(const DatabaseDirectoryHold&) = delete;
};

// While an object of this class lives, the loader reads the device root
// whose directory root is (a descriptor that the caller keeps open) instead
// of the root it runs in: every path of the device is resolved below it by
// resolveInRoot, so that no link and no ".." there leads out of it. Not
// nested; for one thread.
class DeviceRootHold {
 public:
  explicit DeviceRootHold(int root);
  ~DeviceRootHold();
  DeviceRootHold(const DeviceRootHold&) = delete;
  DeviceRootHold& operator=(const DeviceRootHold&) = delete;
};

// Opens a regular file for reading, as openRegularFile does; -1 with state
// saying why.
int openDatabaseFile(const std::string& path, FileState& state);

// Reads a regular file of at most limit bytes, as readRegularFile does.
FileState readDatabaseFile(const std::string& path, size_t limit, std::string& content);

// opendir of a directory of the database, and stat of a path there.
DIR* openDatabaseDirectory(const char* path);
bool databasePathExists(const std::string& path);
