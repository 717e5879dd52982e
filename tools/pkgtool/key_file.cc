#include "key_file.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "eddsa_signer.h"
#include "legacy_signer.h"

namespace {

struct ItemFormat {
  const char* name;
  KeyItem item;
  size_t words;
  size_t digits;  // per word
};

const ItemFormat kItems[] = {
    {"eddsa-seed", KEY_EDDSA_SEED, 1, 64},       {"eddsa-public", KEY_EDDSA_PUBLIC, 1, 64},
    {"legacy-secret", KEY_LEGACY_SECRET, 1, 64}, {"legacy-public", KEY_LEGACY_PUBLIC, 1, 64},
    {"sha256-k", KEY_HASH_CONSTANTS, 64, 8},     {"sha256-h", KEY_HASH_INITIAL, 8, 8},
};

const ItemFormat* findItem(const std::string& name) {
  for (const ItemFormat& format : kItems)
    if (name == format.name) return &format;
  return nullptr;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the words' digits into bytes in their written order.
bool decodeHex(const std::vector<std::string>& words, size_t digits, std::vector<uint8_t>& bytes) {
  for (const std::string& word : words) {
    if (word.size() != digits) return false;
    for (size_t i = 0; i < word.size(); i += 2) {
      const int high = hexDigit(word[i]), low = hexDigit(word[i + 1]);
      if (high < 0 || low < 0) return false;
      bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
  }
  return true;
}

// Words are written as 32-bit numbers, most significant digit first.
void storeWords(const std::vector<uint8_t>& bytes, uint32_t* words) {
  for (size_t i = 0; i < bytes.size() / 4; ++i)
    words[i] = uint32_t(bytes[4 * i]) << 24 | uint32_t(bytes[4 * i + 1]) << 16 |
               uint32_t(bytes[4 * i + 2]) << 8 | uint32_t(bytes[4 * i + 3]);
}

void store(KeyFile& keys, KeyItem item, const std::vector<uint8_t>& bytes) {
  switch (item) {
    case KEY_EDDSA_SEED: memcpy(keys.eddsaSeed, bytes.data(), 32); break;
    case KEY_EDDSA_PUBLIC: memcpy(keys.eddsaPublic, bytes.data(), 32); break;
    case KEY_LEGACY_SECRET: memcpy(keys.legacySecret, bytes.data(), 32); break;
    case KEY_LEGACY_PUBLIC: memcpy(keys.legacyPublic, bytes.data(), 32); break;
    case KEY_HASH_CONSTANTS: storeWords(bytes, keys.hashRoundConstants); break;
    case KEY_HASH_INITIAL: storeWords(bytes, keys.hashInitialWords); break;
    default: break;
  }
}

// One non-comment line; false with error set when it is not a valid item.
bool readItem(const std::string& line, KeyFile& keys, std::string& error) {
  std::istringstream in(line);
  std::string name, word;
  in >> name;
  std::vector<std::string> words;
  while (in >> word) words.push_back(word);

  const ItemFormat* format = findItem(name);
  if (!format) {
    error = name + ": unknown item";
    return false;
  }
  if (keys.present & format->item) {
    error = name + ": given twice";
    return false;
  }
  if (words.size() != format->words) {
    error = name + ": " + std::to_string(words.size()) + " values, expected " +
            std::to_string(format->words);
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!decodeHex(words, format->digits, bytes)) {
    error = name + ": values must be " + std::to_string(format->digits) + " hexadecimal digits";
    return false;
  }
  store(keys, format->item, bytes);
  keys.present |= format->item;
  return true;
}

bool pairsMatch(const KeyFile& keys, std::string& error) {
  uint8_t derived[32];
  const unsigned eddsa = KEY_EDDSA_SEED | KEY_EDDSA_PUBLIC;
  if ((keys.present & eddsa) == eddsa &&
      (!eddsaPublicKey(keys.eddsaSeed, derived) || memcmp(derived, keys.eddsaPublic, 32) != 0)) {
    error = "eddsa-public: does not belong to eddsa-seed";
    return false;
  }
  const unsigned legacy = KEY_LEGACY_SECRET | KEY_LEGACY_PUBLIC;
  if ((keys.present & legacy) == legacy && (!legacyPublicKey(keys.legacySecret, derived) ||
                                            memcmp(derived, keys.legacyPublic, 32) != 0)) {
    error = "legacy-public: does not belong to legacy-secret";
    return false;
  }
  return true;
}

bool readItems(std::istream& in, KeyFile& keys, unsigned required, std::string& error) {
  std::string line;
  while (std::getline(in, line)) {
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    if (!readItem(line, keys, error)) return false;
  }
  for (const ItemFormat& format : kItems) {
    if ((required & format.item) && !(keys.present & format.item)) {
      error = std::string(format.name) + ": missing";
      return false;
    }
  }
  return pairsMatch(keys, error);
}

}  // namespace

bool readKeyFile(const std::string& path, KeyFile& keys, std::string& error, unsigned required) {
  keys = KeyFile();
  std::ifstream in(path);
  if (!in) {
    error = "key file " + path + ": cannot be opened";
    return false;
  }
  if (readItems(in, keys, required, error)) return true;
  error = "key file " + path + ": " + error;
  return false;
}
