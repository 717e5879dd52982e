#include "db/listing.h"

#include <ctime>
#include <iostream>

#include "pkg/console.h"

namespace {

const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Appends text right-aligned in a cell of the given width; longer text
// takes the room it needs.
void appendCell(std::string& out, const std::string& text, size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

void appendDigits(std::string& out, unsigned value, int digits) {
  char text[10];
  for (int i = digits - 1; i >= 0; --i, value /= 10) text[i] = char('0' + value % 10);
  out.append(text, digits);
}

// Build time as Mar/05/2024 14:07:09 (UTC), as strftime's
// "%b/%d/%Y %H:%M:%S" writes it in the C locale; empty when it cannot be
// converted. A 32-bit build time falls in the years 1970 to 2106.
std::string buildTimeText(uint32_t buildTime) {
  const time_t seconds = static_cast<time_t>(buildTime);
  struct tm broken;
  if (!gmtime_r(&seconds, &broken)) return "";
  std::string text = kMonths[broken.tm_mon];
  text += '/';
  appendDigits(text, broken.tm_mday, 2);
  text += '/';
  appendDigits(text, broken.tm_year + 1900, 4);
  text += ' ';
  appendDigits(text, broken.tm_hour, 2);
  text += ':';
  appendDigits(text, broken.tm_min, 2);
  text += ':';
  appendDigits(text, broken.tm_sec, 2);
  return text;
}

}  // namespace

void showPackages(const PackageDb& db) {
  // The table is put together whole and written at once.
  std::string out;
  appendCell(out, "Name", 16);
  out += "    ";
  appendCell(out, "Version", 13);
  out += ' ';
  appendCell(out, "Built", 20);
  appendCell(out, "Note", 40);
  out += '\n';
  out.append(94, '-');
  out += '\n';
  for (const InstalledPackage* package : db.packages) {
    // Placeholders that a bundle's member list adds for the run are not
    // installed packages.
    if (package->name.empty()) continue;
    // A name or note read from disk may hold control characters: they are
    // shown escaped, not sent to the terminal.
    appendCell(out, printable(package->name), 16);
    out += ' ';
    out += package->disabled ? 'X' : ' ';
    out += package->bundle.name.empty() ? "  " : "B ";
    appendCell(out, versionText(package->version), 13);
    out += ' ';
    appendCell(out, buildTimeText(package->buildTime), 20);
    out += ' ';
    appendCell(out, printable(package->note), 40);
    out += '\n';
  }
  std::cout.write(out.data(), std::streamsize(out.size()));
  std::cout.flush();
}
