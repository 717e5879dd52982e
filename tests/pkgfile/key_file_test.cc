#include "key_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "pkgfile/built_in_keys.h"

namespace {

// text with the line of item replaced, or dropped when replacement is empty.
std::string replaceItem(const std::string& text, const std::string& item,
                        const std::string& replacement) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.compare(0, item.size() + 1, item + " ") != 0)
      out += line + "\n";
    else if (!replacement.empty())
      out += replacement + "\n";
  }
  return out;
}

std::string editedKeys(const std::string& item, const std::string& replacement) {
  std::ifstream in(TEST_KEY_FILE);
  std::stringstream text;
  text << in.rdbuf();
  return replaceItem(text.str(), item, replacement);
}

std::string writeTemporary(const std::string& text, int n) {
  const std::string path = testing::TempDir() + "keys-" + std::to_string(n) + ".txt";
  std::ofstream(path) << text;
  return path;
}

TEST(KeyFile, ReadsHexBytesAndBigEndianWords) {
  KeyFile keys;
  std::string error;
  ASSERT_TRUE(readKeyFile(TEST_KEY_FILE, keys, error)) << error;
  EXPECT_EQ(unsigned(KEY_ALL_ITEMS), keys.present);
  EXPECT_EQ(0xdd, keys.eddsaSeed[0]);
  EXPECT_EQ(0x24, keys.eddsaPublic[31]);
  EXPECT_EQ(0x0f, keys.legacySecret[31]);
  EXPECT_EQ(0x78, keys.legacyPublic[0]);
  EXPECT_EQ(0xadc9cfcfu, keys.hashRoundConstants[0]);
  EXPECT_EQ(0x802a6445u, keys.hashRoundConstants[63]);
  EXPECT_EQ(0xb119af45u, keys.hashInitialWords[7]);
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
  std::string crlf;
  for (char c : replaceItem(editedKeys("eddsa-seed", ""), "legacy-secret", ""))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string path = writeTemporary(crlf, 0);
  KeyFile keys;
  std::string error;
  EXPECT_FALSE(readKeyFile(path, keys, error));
  EXPECT_NE(std::string::npos, error.find("eddsa-seed: missing")) << error;
  EXPECT_TRUE(readKeyFile(path, keys, error, KEY_PUBLIC_ITEMS)) << error;
  EXPECT_EQ(0xb119af45u, keys.hashInitialWords[7]);
}

// The installer carries the public items of the key file it was configured
// with, byte for byte.
TEST(KeyFile, BuiltInKeysComeFromTheConfiguredFile) {
  KeyFile keys;
  std::string error;
  ASSERT_TRUE(readKeyFile(BUILT_IN_KEY_FILE, keys, error, KEY_PUBLIC_ITEMS)) << error;
  EXPECT_EQ(0, memcmp(keys.eddsaPublic, eddsaPublicKey, 32));
  EXPECT_EQ(0, memcmp(keys.legacyPublic, legacyPublicKey, 32));
  EXPECT_EQ(0, memcmp(keys.hashRoundConstants, packageHashRoundConstants, sizeof keys.hashRoundConstants));
  EXPECT_EQ(0, memcmp(keys.hashInitialWords, packageHashInitialWords, sizeof keys.hashInitialWords));
}

}  // namespace
