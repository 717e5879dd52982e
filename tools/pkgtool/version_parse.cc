#include "version_parse.h"

#include <cstring>

namespace {

struct Stage {
  const char* text;
  unsigned letter;
};

const Stage kStages[] = {{"alpha", 'a'}, {"beta", 'b'}, {"rc", 'c'}};

// A decimal number of 1 to 3 digits, at most 255, at text[pos]; advances pos.
bool parseComponent(const std::string& text, size_t& pos, unsigned& value) {
  const size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
    value = value * 10 + unsigned(text[pos++] - '0');
  return pos > start && value <= 255;
}

bool parseHexVersion(const std::string& text, Version& version) {
  if (text.size() < 3 || text.size() > 10) return false;
  Version value = 0;
  for (size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value << 4 | digit;
  }
  version = value;
  return true;
}

Version pack(unsigned major, unsigned minor, unsigned stage, unsigned number) {
  return Version(major) << 24 | Version(minor) << 16 | Version(stage) << 8 | Version(number);
}

}  // namespace

bool parseVersion(const std::string& text, Version& version) {
  if (text.compare(0, 2, "0x") == 0) return parseHexVersion(text, version);

  size_t pos = 0;
  unsigned major, minor, number = 0;
  if (!parseComponent(text, pos, major) || pos >= text.size() || text[pos++] != '.' ||
      !parseComponent(text, pos, minor))
    return false;
  if (pos == text.size()) {
    version = pack(major, minor, 'f', 0);
    return true;
  }
  if (text[pos] == '.') {
    ++pos;
    if (!parseComponent(text, pos, number) || pos != text.size()) return false;
    version = pack(major, minor, 'f', number);
    return true;
  }
  for (const Stage& stage : kStages) {
    const size_t length = strlen(stage.text);
    if (text.compare(pos, length, stage.text) != 0) continue;
    pos += length;
    if (pos < text.size() && (!parseComponent(text, pos, number) || pos != text.size()))
      return false;
    version = pack(major, minor, stage.letter, number);
    return true;
  }
  return false;
}
