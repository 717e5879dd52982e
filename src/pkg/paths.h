// The places on the device that the installer reads and writes. Directory
// paths that names are appended to end with "/".
#pragma once

// The file systems and the places for temporary files. Everything the
// installer stages, and every file it stages from, lies below one of /flash,
// /ram, /rw and /tmp.
inline constexpr char PATH_FLASH[] = "/flash";
inline constexpr char PATH_FLASH_BOOT[] = "/flash/boot";
inline constexpr char PATH_RAM[] = "/ram";
inline constexpr char PATH_RW[] = "/rw";
inline constexpr char PATH_TMP[] = "/tmp";

// The package database: one directory per installed package, and package
// images kept whole.
inline constexpr char PATH_DATABASE_DIR[] = "/flash/var/pdb/";
inline constexpr char PATH_IMAGES_DIR[] = "/rw/pckg/.images/";
// Schedule files that the system leaves: PATH_SCHEDULE_DIR + name + "/schedule".
inline constexpr char PATH_SCHEDULE_DIR[] = "/ram/pdb/";
// Where the files of a disabled package wait: PATH_DISABLED_DIR + name.
inline constexpr char PATH_DISABLED_DIR[] = "/flash/x/";

// The copy of a package read from standard input, while it is installed;
// the double slash is how the upgrade machinery has always named it. The
// second form is the same file as the source of a move.
inline constexpr char PATH_STREAM_IMAGE[] = "/flash/var/pdb//image";
inline constexpr char PATH_STREAM_IMAGE_SOURCE[] = "/flash/var/pdb/image";

// Kept while a commit is under way: the changes it applies, in the line
// format of the saved manifest. The loader passes over hidden names.
inline constexpr char PATH_JOURNAL[] = "/flash/var/pdb/.journal";
// The directories in which the staged files of a run are made, so that a
// start after a cut can delete what was left there.
inline constexpr char PATH_STAGING_RECORD[] = "/flash/var/pdb/.staging";

inline constexpr char PATH_BOOT_IMAGE[] = "/flash/bootimage";
inline constexpr char PATH_SAVED_MANIFEST[] = "/ram/MANIFEST";
inline constexpr char PATH_POST_LOG[] = "/flash/postlog";
// The earlier lines of the log, set aside from the time a run reads the log
// until it writes it again.
inline constexpr char PATH_POST_LOG_EARLIER[] = "/flash/postlog.earlier";

// Markers: created by the installer, or left for it by the system.
inline constexpr char PATH_PACKAGES_CHANGED[] = "/flash/PCKGS_CHANGED";
inline constexpr char PATH_UPGRADED[] = "/flash/UPGRADED";
inline constexpr char PATH_DOWNGRADE_MARKER[] = "/ram/DOWNGRADE";
inline constexpr char PATH_SECURE_MARKER[] = "/ram/SECURE";
inline constexpr char PATH_IGNORE_MARKER[] = "/rw/pckg/.download/IGNORE";

// The directories that an upgrade takes package files from, in the order
// they are looked at.
inline constexpr char PATH_DOWNLOAD_DIR[] = "/rw/pckg/.download/";
inline constexpr char PATH_FLASH_PACKAGES_DIR[] = "/flash/rw/pckg/";
inline constexpr char PATH_SYSTEM_PACKAGES_DIR[] = "/flash/var/pckg/";

// True when a path names the package database or something in it, however
// many slashes it repeats ("/flash//var/pdb/x" too). The path holds no "."
// or ".." component.
inline bool inDatabase(const char* path) {
  const char* wanted = PATH_DATABASE_DIR;
  for (; *path && *wanted; ++path, ++wanted) {
    if (*path != *wanted) return false;
    if (*path == '/')
      while (path[1] == '/') ++path;
  }
  return *wanted == '\0' || (*path == '\0' && wanted[0] == '/' && wanted[1] == '\0');
}
