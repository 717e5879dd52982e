#include "resolve/providers.h"

#include "pkg/console.h"
#include "resolve/relations.h"

namespace {

bool belowFloor(const Package& package, Version floor) {
  return floor != NO_VERSION_FLOOR && package.version < floor;
}

// Two candidates stand for the same thing when one of them, or a member of
// one, bears the other's name.
bool areRivals(const Package& a, const Package& b) { return hasName(a, b.name) || hasName(b, a.name); }

// Whether the candidate at index survives every rival in the list. A
// candidate below the floor is not allowed, and so is nobody's rival.
bool survives(PackageDb& db, const std::vector<Package*>& list, size_t index, Version floor, bool report) {
  const Package& candidate = *list[index];
  const bool downgrade = floor != NO_VERSION_FLOOR;
  if (belowFloor(candidate, floor)) {
    printWarning(db, "ommitting package %s: not allowed", candidate.displayName().c_str());
    return false;
  }
  for (size_t other = 0; other < list.size(); ++other) {
    const Package& rival = *list[other];
    if (other == index || belowFloor(rival, floor) || !areRivals(candidate, rival)) continue;
    const int order = compareDirected(rival, candidate, downgrade);
    if (order > 0) {
      if (report)
        printWarning(db,
                     downgrade ? "omitting package %s: older package is already provided"
                               : "omitting package %s: newer package is already provided",
                     candidate.displayName().c_str());
      return false;
    }
    if (order < 0) continue;
    // Equal: a bundle wins over a single package, and of two of the same
    // kind the first in the list.
    if (rival.isBundle != candidate.isBundle) {
      if (!candidate.isBundle) return false;
      continue;
    }
    if (other < index) return false;
  }
  return true;
}

// Each package goes directly after the last one placed so far that it
// depends on or that excludes it, or to the front.
std::vector<Package*> orderByNeeds(const std::vector<Package*>& survivors) {
  std::vector<Package*> order;
  for (Package* package : survivors) {
    size_t at = 0;
    for (size_t i = order.size(); i-- > 0;) {
      if (dependsOn(*package, *order[i]) || excludes(*order[i], *package)) {
        at = i + 1;
        break;
      }
    }
    order.insert(order.begin() + at, package);
  }
  return order;
}

// What the records of a bundle say about the bundle's own record.
enum class MemberOutlook { STAYING, SOME_LEFT_DISABLED, ALL_LEAVING };

MemberOutlook lookAtMembers(const PackageDb& db, const InstalledPackage& bundle) {
  MemberOutlook outlook = MemberOutlook::ALL_LEAVING;
  for (const InstalledPackage* member : db.packages) {
    if (isAllOnes(*member) || !namesMatch(member->bundle.name, bundle.name)) continue;
    const ScheduledAction request = member->scheduled;
    if (member->disabled ? request == SCHEDULE_ENABLE : request == SCHEDULE_NONE)
      return MemberOutlook::STAYING;
    if (request == SCHEDULE_DISABLE || (member->disabled && request == SCHEDULE_NONE))
      outlook = MemberOutlook::SOME_LEFT_DISABLED;
  }
  return outlook;
}

}  // namespace

void selectProviders(PackageDb& db, std::vector<Package*>& list, Version floor, bool report) {
  std::vector<Package*> survivors;
  for (size_t i = 0; i < list.size(); ++i)
    if (survives(db, list, i, floor, report)) survivors.push_back(list[i]);
  list = orderByNeeds(survivors);
}

void followBundles(PackageDb& db) {
  for (InstalledPackage* package : db.packages) {
    if (package->bundle.name.empty()) continue;
    const InstalledPackage* bundle = db.lookupByName(package->bundle.name);
    if (!bundle) continue;
    switch (bundle->scheduled) {
      case SCHEDULE_DISABLE:
        if (package->scheduled != SCHEDULE_UNINSTALL) package->scheduled = SCHEDULE_DISABLE;
        break;
      case SCHEDULE_UNINSTALL:
        package->scheduled = SCHEDULE_UNINSTALL;
        break;
      case SCHEDULE_ENABLE:
        if (package->disabled) package->scheduled = SCHEDULE_ENABLE;
        break;
      case SCHEDULE_NONE:
        break;
    }
  }
}

void settleBundleRecords(PackageDb& db) {
  for (InstalledPackage* bundle : db.packages) {
    if (!bundle->isBundle || bundle->scheduled == SCHEDULE_UNINSTALL) continue;
    switch (lookAtMembers(db, *bundle)) {
      case MemberOutlook::STAYING:
        break;
      case MemberOutlook::ALL_LEAVING:
        bundle->scheduled = SCHEDULE_UNINSTALL;
        break;
      case MemberOutlook::SOME_LEFT_DISABLED:
        // The record goes with its members' state. Removing it would take
        // the bundle's image, and the members with it at the next start.
        if (!bundle->disabled)
          bundle->scheduled = SCHEDULE_DISABLE;
        else if (bundle->scheduled == SCHEDULE_ENABLE)
          bundle->scheduled = SCHEDULE_NONE;
        break;
    }
  }
}

InstalledPackage* findByNameOrProvides(const PackageDb& db, const std::string& name) {
  const DependencyEntry anyVersion{name, 0, 0, 0};
  InstalledPackage* lastDisabled = nullptr;
  for (InstalledPackage* package : db.packages) {
    if (!namesMatch(package->name, name) && !providesFor(*package, anyVersion)) continue;
    if (!package->disabled) return package;
    lastDisabled = package;
  }
  return lastDisabled;
}

NameOrProvidesIndex::NameOrProvidesIndex(const std::vector<InstalledPackage*>& packages) : packages_(packages) {
  const auto add = [this](const std::string& name, size_t position) {
    std::vector<size_t>& positions = positions_[name];
    if (positions.empty() || positions.back() != position) positions.push_back(position);
  };
  for (size_t i = 0; i < packages.size(); ++i) {
    add(packages[i]->name, i);
    for (const DependencyEntry& provided : packages[i]->provides) add(provided.name, i);
  }
}

InstalledPackage* NameOrProvidesIndex::find(const std::string& name) const {
  const auto bucket = positions_.find(name);
  if (bucket == positions_.end()) return nullptr;
  InstalledPackage* lastDisabled = nullptr;
  for (size_t position : bucket->second) {
    InstalledPackage* package = packages_[position];
    if (!package->disabled) return package;
    lastDisabled = package;
  }
  return lastDisabled;
}
