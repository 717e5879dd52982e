#include "key_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

namespace {

// The test keys with the line of item replaced, or emptied.
std::string editedKeys(const std::string& item, const std::string& replacement,
                       std::string text = "") {
  if (text.empty()) {
    std::ifstream in(TEST_KEY_FILE);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  return std::regex_replace(text, std::regex("\n" + item + " [^\n]*"), "\n" + replacement);
}

std::string writeTemporary(const std::string& text, int n) {
  const std::string path = testing::TempDir() + "keys-" + std::to_string(n) + ".txt";
  std::ofstream(path) << text;
  return path;
}

TEST(KeyFile, FaultsNameTheFileAndTheItem) {
  const std::string zeros(64, '0');
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {editedKeys("legacy-public", ""), "legacy-public: missing"},
      {editedKeys("eddsa-public", "eddsa-public 3d25"), "eddsa-public: values must be 64"},
      {editedKeys("legacy-secret", "legacy-secret " + zeros.substr(1) + "g"), "legacy-secret: values must be 64"},
      {editedKeys("sha256-h", "sha256-h 2fe4e6c9 615f1a61"), "sha256-h: 2 values, expected 8"},
      {editedKeys("eddsa-seed", "eddsa-seed " + zeros + "\neddsa-seed " + zeros), "eddsa-seed: given twice"},
      {editedKeys("eddsa-seed", "eddsa-sed 00"), "eddsa-sed: unknown item"},
      // Public halves that do not belong to the private ones.
      {editedKeys("legacy-public", "legacy-public " + zeros), "legacy-public: does not belong to legacy-secret"},
      {editedKeys("eddsa-public", "eddsa-public " + zeros), "eddsa-public: does not belong to eddsa-seed"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = writeTemporary(c.text, ++n);
    KeyFile keys;
    std::string error;
    EXPECT_FALSE(readKeyFile(path, keys, error)) << c.message;
    EXPECT_EQ(0u, error.find("key file " + path + ": " + c.message)) << error;
  }
}

// A release key file may hold only the public items, here with CR LF line
// ends; the signing items are then asked for explicitly.
TEST(KeyFile, PublicItemsAlone) {
  const std::string publicOnly = editedKeys("legacy-secret", "", editedKeys("eddsa-seed", ""));
  const std::string path = writeTemporary(std::regex_replace(publicOnly, std::regex("\n"), "\r\n"), 0);
  KeyFile keys;
  std::string error;
  EXPECT_FALSE(readKeyFile(path, keys, error));
  EXPECT_NE(std::string::npos, error.find("eddsa-seed: missing")) << error;
  EXPECT_TRUE(readKeyFile(path, keys, error, KEY_PUBLIC_ITEMS)) << error;
  EXPECT_EQ(0xb119af45u, keys.hashInitialWords[7]);
}

}  // namespace
