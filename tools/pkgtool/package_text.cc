#include "package_text.h"

#include <cstdio>

std::string escapedText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      out += c;
    } else {
      char escaped[5];
      snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out;
}

std::string relationText(const DependencyEntry& entry) {
  std::string out = escapedText(entry.name);
  if (entry.min != 0 && entry.min == entry.max) {
    out += std::string(" = ") + versionText(entry.min);
  } else {
    if (entry.min != 0) out += std::string(" >= ") + versionText(entry.min);
    if (entry.max != 0) out += std::string(" <= ") + versionText(entry.max);
  }
  if (entry.extra != 0) out += " extra " + std::to_string(entry.extra);
  return out;
}

std::string flagsText(uint32_t flags) {
  char text[16];
  snprintf(text, sizeof text, "0x%08x", flags);
  std::string out = text;
  if (flags & PF_BOOT) out += " boot";
  if (flags & PF_NO_META) out += " no-meta";
  return out;
}
