// Package files that pkgtool does not make: tampered with, cut short, cut
// and spliced, or signed here around entries that it refuses to write. Each
// is installed by a scenario step that expects its status and message, and
// that nothing is left behind.
#include <gtest/gtest.h>

#include "e2e/scenario.h"
#include "key_file.h"
#include "platform/hash.h"
#include "signature_part.h"
#include "support/package_builder.h"

namespace {

using Parts = std::vector<std::pair<uint16_t, std::string>>;  // type, data

Parts splitParts(const std::string& file) {
  Parts parts;
  for (size_t at = 8; at + 6 <= file.size(); at += 6 + parts.back().second.size()) {
    uint32_t length = 0;
    for (int i = 5; i >= 2; --i) length = length << 8 | static_cast<uint8_t>(file[at + i]);
    parts.push_back({uint8_t(file[at]) | uint8_t(file[at + 1]) << 8, file.substr(at + 6, length)});
  }
  return parts;
}

std::string joinParts(const std::vector<Parts>& pieces) {
  std::string body;
  for (const Parts& parts : pieces)
    for (const auto& part : parts) body += testpkg::part(part.first, part.second);
  return testpkg::packageFile(body);
}

// The offset of the part header of the first part of the type.
size_t offsetOf(const std::string& file, uint16_t type) {
  size_t at = 8;
  for (const auto& part : splitParts(file)) {
    if (part.first == type) break;
    at += 6 + part.second.size();
  }
  return at;
}

std::string entry(const std::string& name, const std::string& data = "x", uint16_t mode = 0100644) {
  return testpkg::fileEntry(mode, name, data);
}

// A package NAME-1.0 whose Files part holds the payload, signed with the
// test keys.
std::string signedPayload(const std::string& name, const std::string& payload) {
  KeyFile keys;
  std::string error;
  EXPECT_TRUE(readKeyFile(TEST_KEY_FILE, keys, error)) << error;
  const std::string parts = testpkg::part(1, testpkg::headerData(name, 0x01006600, 1700000000, 0)) +
                            testpkg::part(4, payload);
  const std::string covered = parts + testpkg::le16(9) + testpkg::le32(132);
  SHA1 hash;
  hash.update(covered.data(), covered.size());
  uint8_t digest[32] = {};
  hash.final(digest);
  std::vector<uint8_t> signature;
  EXPECT_TRUE(makeSignaturePart(keys, digest, true, signature));
  return testpkg::packageFile(parts +
                              testpkg::part(9, std::string(signature.begin(), signature.end())));
}

// A package NAME-1.0 of these file entries, signed with the test keys.
std::string signedPackage(const std::string& name, const std::string& entries) {
  return signedPayload(name, testpkg::compress(entries));
}

const char kScenario[] = R"(scenario crafted package files
package alpha 1.0
package alpha 2.0
  note payload
  file etc/alpha alpha 2.0\n
  file lib/alpha.data @random 9000
package core 1.0
package web 1.0
bundle suite 1.0
  image
  member core-1.0
  member web-1.0
package suite 1.0 suite-alone
# An install that fails ends the upgrade, before a device without packages
# is reported.
download flipped-1.0
installer
  log ERROR: installation of alpha-1.0 failed: broken package
  no /flash/var/pdb/alpha tmp
remove /rw/pckg/.download
install alpha-1.0
download cut /rw/pckg/.download/cut.npk
download flipped-files /rw/pckg/.download/alpha-2.0.npk
installer
  log ERROR: broken package cut.npk
  log ERROR: installation of alpha-2.0 failed: broken package
  unchanged /flash
  no tmp
remove /rw/pckg/.download
)";

// What the refused files were made from still goes in; entries passed over
// write nothing, whatever their names.
const char kAccepted[] = R"(
installer - < trailer
  file /flash/etc/alpha alpha 2.0\n
installer - < suite-1.0
  status 2
  log WARNING: omitting package suite-1.0: it is already installed
  unchanged /flash
installer - < passed-over
  file /flash/etc/kept x
  file /flash/var/pdb/dirs/files etc/kept\n
installer - < inside
  file /flash/etc/..bad../x x
installer - < modes
  mode /flash/etc/suid 4755
  mode /flash/etc/shared 666
  mode /flash/etc/private 600
  mode /flash/etc/sticky 1644
)";

TEST(CraftedPackage, RefusedWithItsStatusAndNothingLeftBehind) {
  Scenario scenario(parseScenarios(__FILE__, kScenario).at(0));
  const std::string good = scenario.package("alpha-2.0");
  std::string steps;
  auto refused = [&](const std::string& label, const std::string& bytes, int status,
                     const std::string& log) {
    scenario.addPackage(label, bytes);
    steps += "installer - < " + label + "\n  status " + std::to_string(status) +
             (log.empty() ? "\n  no log" : "\n  log " + log) +
             (status ? "\n  unchanged /flash" : "") + "\n  no tmp /escape\n";
  };
  const std::string broken = "ERROR: installation of alpha-2.0 failed: broken package";
  const size_t header = offsetOf(good, 1), files = offsetOf(good, 4), signature = offsetOf(good, 9);
  // Either signature suffices for a package of this version: both must be
  // spoilt for the signature to fail.
  for (const std::vector<size_t>& flips :
       std::vector<std::vector<size_t>>{{header + 6 + 17}, {offsetOf(good, 23) + 8}, {files + 2},
                                        {files + 46}, {signature - 1}, {signature},
                                        {signature + 6 + 20, signature + 6 + 68 + 5}}) {
    std::string bytes = good;
    for (size_t at : flips) bytes[at] ^= 0x01;
    refused("flipped-" + std::to_string(flips[0]), bytes, 1, broken);
  }
  std::string name = good;
  name[header + 6] ^= 0x01;
  refused("flipped-name", name, 1, "ERROR: installation of `lpha-2.0 failed: broken package");
  // A header that cannot be read is refused without a word.
  for (size_t cut : {size_t(5), size_t(8), header + 3, header + 20, files + 6 + 30, signature,
                     signature + 6 + 67, good.size() - 1})
    refused("cut-" + std::to_string(cut), good.substr(0, cut), 1, cut <= header + 20 ? "" : broken);
  // After its signature a package may have an architecture part and an
  // empty dependency list, nothing else.
  const Parts parts = splitParts(good);
  refused("files-after", joinParts({parts, {{4, testpkg::compress(entry("etc/x"))}}}), 1, broken);
  refused("deps-after", joinParts({parts, {{3, testpkg::refListData({{"beta", 0, 0, 0}})}}}), 1,
          broken);
  // Entry names that would leave /flash, and package names that would lead
  // elsewhere (they name directories).
  // A "." component is refused too: a saved manifest cannot hold it. So
  // are a name longer than the flash takes and a path longer than the
  // system takes: such a file could never be put in place.
  std::string deep;
  for (int i = 0; i < 17; ++i) deep += std::string(250, 'd') + "/";
  // A space or a line feed cannot be held by a saved manifest's line.
  const std::vector<std::string> names = {"../escape", "etc/../../escape", "/../escape", "..", "etc/..", "",
                                          "./etc/x", "etc/" + std::string(256, 'n'), deep + "x",
                                          "etc/a b", "etc/a\nb"};
  for (size_t i = 0; i < names.size(); ++i)
    refused("entry-" + std::to_string(i), signedPackage("evil", entry("etc/good") + entry(names[i])), 1,
            "ERROR: installation of evil-1.0 failed: broken package");
  // A payload signed as it is, but whose stream is damaged at its checksum
  // or cut before it: all its data came out, none of it may be trusted.
  const std::string payload = testpkg::compress(entry("etc/good") + entry("etc/more", "data"));
  std::string checksum = payload;
  checksum.back() ^= 0x01;
  refused("payload-checksum", signedPayload("evil", checksum), 1,
          "ERROR: installation of evil-1.0 failed: broken package");
  refused("payload-cut", signedPayload("evil", payload.substr(0, payload.size() - 4)), 1,
          "ERROR: installation of evil-1.0 failed: broken package");
  for (const std::string name : {"..", "../../escape", "."})
    refused("name-" + name, signedPackage(name, entry("etc/x")), 1, "");

  // Bad bundles cut from a good one: its own parts, then each member's.
  std::vector<Parts> pieces(1);
  for (const auto& part : splitParts(scenario.package("suite-1.0"))) {
    if (part.first == 1) pieces.emplace_back();
    pieces.back().push_back(part);
  }
  std::vector<Parts> relations = pieces, memberBroken = pieces, likeBundle = pieces;
  relations[0].insert(relations[0].begin() + 1, {3, testpkg::refListData({{"alpha", 0, 0, 0}})});
  for (auto& part : memberBroken[2])
    if (part.first == 4) part.second[part.second.size() / 2] ^= 0x20;
  likeBundle[2] = splitParts(scenario.package("suite-alone"));
  refused("bundle-relations", joinParts(relations), 1, "");
  refused("bundle-member-broken", joinParts(memberBroken), 2,
          "ERROR: installation of suite-1.0 failed: broken package");
  refused("bundle-member-like-it", joinParts(likeBundle), 2, "");
  refused("bundle-left-over", joinParts({pieces[0], pieces[1], pieces[2], {{3, ""}}}), 2, "");
  refused("bundle-no-member", joinParts({pieces[0]}), 3, "");
  refused("bundle-reassembled", joinParts(pieces), 0, "installed suite-1.0");

  std::string flipped = scenario.package("alpha-1.0");
  flipped[offsetOf(flipped, 4) + 20] ^= 0x01;
  scenario.addPackage("flipped-1.0", flipped);
  scenario.addPackage("cut", good.substr(0, good.size() - 10));
  scenario.addPackage("flipped-files", scenario.package("flipped-" + std::to_string(files + 46)));
  scenario.addPackage("trailer", joinParts({parts, {{16, "i386"}, {3, ""}}}));
  scenario.addPackage("passed-over", signedPackage("dirs", entry("", "", 040755) +
                                                               entry("..", "", 040755) +
                                                               entry("../link", "x", 0120777) +
                                                               entry("etc/kept")));
  scenario.addPackage("inside", signedPackage("evil", entry("/etc/..bad../x")));
  // Every permission bit arrives, whether the umask would take it or it is
  // one of the special ones.
  scenario.addPackage("modes", signedPackage("modes", entry("etc/suid", "x", 0104755) +
                                                          entry("etc/shared", "x", 0100666) +
                                                          entry("etc/private", "x", 0100600) +
                                                          entry("etc/sticky", "x", 0101644)));
  scenario.append(steps + kAccepted);
  scenario.run();
}

}  // namespace
