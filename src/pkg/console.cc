#include "pkg/console.h"

#include <cstdio>
#include <string_view>

namespace {

const char kHideCursor[] = "\033[?25l";
const char kShowCursor[] = "\033[?25h";
const char kWipeLine[] =
    "\r                                                                               \r";

void put(const std::string& text) { fwrite(text.data(), 1, text.size(), stdout); }

// Whether the line is the label with a bar of width cells, filled of them
// filled.
bool showsBar(const std::string& line, const std::string& label, size_t filled, size_t width) {
  const size_t used = label.size() + 2;
  if (line.size() != used + width + 1 || line.compare(0, label.size(), label) != 0 ||
      line.compare(label.size(), 2, " [") != 0 || line.back() != ']')
    return false;
  const std::string_view bar(line.data() + used, width);
  return bar.find_first_not_of('#') == (filled == width ? std::string_view::npos : filled) &&
         bar.find_first_not_of(' ', filled) == std::string_view::npos;
}

}  // namespace

std::string printable(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      shown += static_cast<char>(c);
      continue;
    }
    shown += "\\x";
    shown += kHex[c >> 4];
    shown += kHex[c & 15];
  }
  return shown;
}

void showStatus(PackageDb& db, const std::string& text) {
  if (db.quiet || text == db.statusLine) return;
  std::string out = kHideCursor;
  out += '\r';
  out += text;
  if (db.statusLine.size() > text.size()) out.append(db.statusLine.size() - text.size(), ' ');
  out += '\r';
  out += kShowCursor;
  put(out);
  fflush(stdout);
  db.statusLine = text;
}

void showProgress(PackageDb& db, const std::string& label, uint64_t position, uint64_t total) {
  const size_t used = label.size() + 2;
  const size_t width = used < 76 ? 76 - used : 0;
  // A reader that knows no total shows an empty bar rather than dividing by 0.
  uint64_t filled = total == 0 ? 0 : position * width / total;
  if (filled > width) filled = width;
  // Many small files move the bar seldom: the line is made only when it
  // would differ from the one shown.
  if (db.quiet || showsBar(db.statusLine, label, size_t(filled), width)) return;
  std::string text = label + " [";
  text.append(filled, '#');
  text.append(width - filled, ' ');
  text += ']';
  showStatus(db, text);
}

void printMessage(PackageDb& db, const char* prefix, const char* format, va_list args) {
  char buffer[256];
  vsnprintf(buffer, sizeof buffer, format, args);
  std::string line = prefix ? prefix : "";
  line += buffer;
  if (db.quiet) return;
  if (!db.statusLine.empty()) {
    put(kWipeLine);
    fflush(stdout);
  }
  put(line);
  put("\n");
  if (!db.statusLine.empty()) {
    put(db.statusLine);
    fflush(stdout);
  }
  fflush(stdout);
  db.messages.push_back(line);
}

void printError(PackageDb& db, const char* format, ...) {
  showStatus(db, "");
  va_list args;
  va_start(args, format);
  printMessage(db, "ERROR: ", format, args);
  va_end(args);
}

void printWarning(PackageDb& db, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printMessage(db, "WARNING: ", format, args);
  va_end(args);
}

void printNotice(PackageDb& db, const char* format, ...) {
  showStatus(db, "");
  va_list args;
  va_start(args, format);
  printMessage(db, nullptr, format, args);
  va_end(args);
}
