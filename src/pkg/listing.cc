#include "pkg/listing.h"

#include <ctime>
#include <iomanip>
#include <iostream>

namespace {

// Build time as Mar/05/2024 14:07:09 (UTC); empty when it cannot be
// converted.
std::string buildTimeText(uint32_t buildTime) {
  const time_t seconds = static_cast<time_t>(buildTime);
  struct tm broken;
  if (!gmtime_r(&seconds, &broken)) return "";
  char buffer[128];
  const size_t length = strftime(buffer, sizeof buffer, "%b/%d/%Y %H:%M:%S", &broken);
  return std::string(buffer, length);
}

}  // namespace

void showPackages(const PackageDb& db) {
  std::ostream& out = std::cout;
  out << std::setw(16) << "Name" << "    " << std::setw(13) << "Version" << " " << std::setw(20)
      << "Built" << std::setw(40) << "Note" << '\n';
  out << std::string(94, '-') << '\n';
  for (const InstalledPackage* package : db.packages) {
    // Placeholders that a bundle's member list adds for the run are not
    // installed packages.
    if (package->name.empty()) continue;
    out << std::setw(16) << package->name << " " << std::setw(1) << (package->disabled ? "X" : " ")
        << std::setw(2) << (package->bundle.name.empty() ? "  " : "B ") << std::setw(13)
        << versionText(package->version) << " " << std::setw(20) << buildTimeText(package->buildTime)
        << " " << std::setw(40) << package->note << '\n';
  }
  out.flush();
}
