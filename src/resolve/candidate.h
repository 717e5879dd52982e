// Judging a package that is to be installed against the installed packages,
// the device and the architecture. The judgement is a word of verdict bits;
// the caller holds a mask of the bits that it accepts.
#pragma once

#include <cstdint>
#include <vector>

#include "pkg/package_db.h"

constexpr uint32_t OLDER_INSTALLED = 1;  // the candidate is an upgrade
constexpr uint32_t NEWER_INSTALLED = 2;  // the candidate is a downgrade
constexpr uint32_t UNUSABLE = 8;         // device, architecture or a required package
constexpr uint32_t CONFLICTS = 16;       // an enabled installed package excludes it
constexpr uint32_t SAME_INSTALLED = 32;  // same version and build time installed

// Bits of a run's installFlags, the accept mask of its judgements: the
// verdicts that the run accepts.
constexpr uint32_t INSTALL_UPGRADE = OLDER_INSTALLED;
constexpr uint32_t INSTALL_DOWNGRADE = NEWER_INSTALLED;
constexpr uint32_t INSTALL_RESUME = SAME_INSTALLED;  // the same version counts as done
// A bundle member is judged accepting everything: nothing about it is
// reported, and its bundle decides.
constexpr uint32_t ACCEPT_EVERYTHING = 0xFFFFFFFF;

// The verdict bits of a candidate. Prints at most one message: the first
// problem found whose bit the accept mask lacks. Changes no record.
uint32_t chooseCandidate(PackageDb& db, const Package& candidate, uint32_t accept);

// The installed packages, in list order, that satisfy the requirement or
// provide for it; disabled ones only when asked for.
std::vector<InstalledPackage*> findProviders(const PackageDb& db, const DependencyEntry& requirement,
                                             bool includeDisabled);

// The first enabled installed package that excludes the candidate, or null.
InstalledPackage* findExcluder(const PackageDb& db, const Package& candidate);

// Whether the candidate may run on this device; prints why not only when
// report is set.
bool checkCompatibility(PackageDb& db, const Package& candidate, bool report);

// Where checkCompatibility learns the device's limits: the flash drivers,
// unless a test points it elsewhere.
struct DeviceLimits {
  Version (*minimumVersion)();   // lowest version the device runs; 0: none
  uint32_t (*eraseBlockSize)();  // of the flash; 0: unknown
};
extern DeviceLimits deviceLimits;
