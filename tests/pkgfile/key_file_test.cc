#include "key_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "support/private_root.h"

namespace {

// The test keys with the line of item replaced, or emptied.
std::string editedKeys(const std::string& item, const std::string& replacement, std::string text = "") {
  if (text.empty()) {
    std::ifstream in(TEST_KEY_FILE);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  return std::regex_replace(text, std::regex("\n" + item + " [^\n]*"), "\n" + replacement);
}

// Faults name the file and the item. A release key file may hold only the
// public items, here with CR LF line ends; the signing items are then asked
// for explicitly.
TEST(KeyFile, ItemsFaultsAndWhatIsRequired) {
  const std::string zeros(64, '0');
  const std::string publicOnly = std::regex_replace(
      editedKeys("legacy-secret", "", editedKeys("eddsa-seed", "")), std::regex("\n"), "\r\n");
  const struct {
    std::string text;
    unsigned required;
    std::string message;
  } rows[] = {
      {editedKeys("legacy-public", ""), KEY_ALL_ITEMS, "legacy-public: missing"},
      {editedKeys("eddsa-public", "eddsa-public 3d25"), KEY_ALL_ITEMS, "eddsa-public: values must be 64"},
      {editedKeys("legacy-secret", "legacy-secret " + zeros.substr(1) + "g"), KEY_ALL_ITEMS,
       "legacy-secret: values must be 64"},
      {editedKeys("sha256-h", "sha256-h 2fe4e6c9 615f1a61"), KEY_ALL_ITEMS, "sha256-h: 2 values, expected 8"},
      {editedKeys("eddsa-seed", "eddsa-seed " + zeros + "\neddsa-seed " + zeros), KEY_ALL_ITEMS,
       "eddsa-seed: given twice"},
      {editedKeys("eddsa-seed", "eddsa-sed 00"), KEY_ALL_ITEMS, "eddsa-sed: unknown item"},
      // Public halves that do not belong to the private ones.
      {editedKeys("legacy-public", "legacy-public " + zeros), KEY_ALL_ITEMS,
       "legacy-public: does not belong to legacy-secret"},
      {editedKeys("eddsa-public", "eddsa-public " + zeros), KEY_ALL_ITEMS,
       "eddsa-public: does not belong to eddsa-seed"},
      {publicOnly, KEY_ALL_ITEMS, "eddsa-seed: missing"},
      {publicOnly, KEY_PUBLIC_ITEMS, ""},
  };
  PrivateRoot dir;  // a scratch directory
  for (const auto& row : rows) {
    const std::string path = dir.host("/keys-" + std::to_string(&row - rows) + ".txt");
    std::ofstream(path) << row.text;
    KeyFile keys;
    std::string error;
    EXPECT_EQ(row.message.empty(), readKeyFile(path, keys, error, row.required)) << row.message;
    if (row.message.empty())
      EXPECT_EQ(0xb119af45u, keys.hashInitialWords[7]);
    else
      EXPECT_EQ(0u, error.find("key file " + path + ": " + row.message)) << error;
  }
}

}  // namespace
