#include "e2e/install_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "key_file.h"
#include "platform/hash.h"
#include "signature_part.h"
#include "support/package_builder.h"

namespace e2e {

namespace {

void makeParents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
}

std::string readHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

uint32_t le32At(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

std::string descriptionText(const Pkg& pkg, const std::string& treeDir) {
  std::string text = "name " + pkg.name + "\nversion " + pkg.version + "\nbuilt 1700000000\n";
  for (const std::string& line : pkg.lines) text += line + "\n";
  if (!pkg.files.empty()) text += "files " + treeDir + "\n";
  return text;
}

void walk(const std::string& host, const std::string& inside,
          std::map<std::string, std::string>& tree) {
  DIR* dir = opendir(host.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string hostPath = host + "/" + name;
    const std::string insidePath = inside + "/" + name;
    struct stat info;
    if (lstat(hostPath.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      tree[insidePath] = "<dir>";
      walk(hostPath, insidePath, tree);
    } else if (S_ISLNK(info.st_mode)) {
      char text[4096] = {};
      const ssize_t n = readlink(hostPath.c_str(), text, sizeof text - 1);
      tree[insidePath] = "-> " + std::string(text, n > 0 ? n : 0);
    } else {
      tree[insidePath] = readHostFile(hostPath);
    }
  }
  closedir(dir);
}

bool isTemporaryName(const std::string& path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return name.size() == 9 && name.compare(0, 3, "tmp") == 0;
}

}  // namespace

PackageShop::PackageShop() : dir_(makeTemporaryDirectory("e2e-packages")) {}

PackageShop::~PackageShop() { removeTemporaryDirectory(dir_); }

void PackageShop::write(const std::string& relative, const std::string& content,
                        mode_t mode) const {
  makeParents(path(relative));
  std::ofstream(path(relative), std::ios::binary | std::ios::trunc) << content;
  chmod(path(relative).c_str(), mode);
}

std::string PackageShop::describe(const Pkg& pkg) const {
  const std::string base = pkg.name + "-" + pkg.version;
  for (const auto& file : pkg.files) {
    // A name ending in '*' is made executable.
    const bool executable = !file.first.empty() && file.first.back() == '*';
    const std::string name = executable ? file.first.substr(0, file.first.size() - 1) : file.first;
    write(base + "-tree/" + name, file.second, executable ? 0755 : 0644);
  }
  write(base + ".desc", descriptionText(pkg, base + "-tree"));
  return path(base + ".desc");
}

std::string PackageShop::buildDescription(const std::string& description,
                                          const std::string& signing) const {
  const std::string out = description + ".npk";
  const ProgramResult result = runProgram(
      pkgtoolPath(), {"build", "-k", TEST_KEY_FILE, "-s", signing, "-o", out, description});
  EXPECT_EQ(0, result.status) << result.err;
  return readHostFile(out);
}

std::string PackageShop::build(const Pkg& pkg, const std::string& signing) const {
  return buildDescription(describe(pkg), signing);
}

std::string PackageShop::buildBundle(const std::string& name, const std::string& version,
                                     const std::vector<Pkg>& members,
                                     const std::vector<std::string>& disabledMembers,
                                     const std::vector<std::string>& lines) const {
  std::string text = "name " + name + "\nversion " + version + "\nbuilt 1700000000\n";
  for (const std::string& line : lines) text += line + "\n";
  for (const Pkg& member : members) text += "member " + describe(member) + "\n";
  if (!disabledMembers.empty()) {
    text += "disabled";
    for (const std::string& member : disabledMembers) text += " " + member;
    text += "\n";
  }
  const std::string description = name + "-" + version + ".bundle.desc";
  write(description, text);
  return buildDescription(path(description), "both");
}

std::vector<FilePart> splitParts(const std::string& file) {
  std::vector<FilePart> parts;
  for (size_t at = 8; at + 6 <= file.size();) {
    const uint16_t type = static_cast<uint8_t>(file[at]) | static_cast<uint8_t>(file[at + 1]) << 8;
    const uint32_t length = le32At(file, at + 2);
    parts.push_back(FilePart{type, file.substr(at + 6, length)});
    at += 6 + length;
  }
  return parts;
}

std::string joinParts(const std::vector<FilePart>& parts, uint32_t magic) {
  std::string body;
  for (const FilePart& part : parts) body += testpkg::part(part.type, part.data);
  return testpkg::packageFile(body, magic);
}

std::vector<FilePart> packageParts(const std::vector<FilePart>& parts, size_t from) {
  std::vector<FilePart> package;
  for (size_t i = from; i < parts.size(); ++i) {
    package.push_back(parts[i]);
    if (parts[i].type == 9) break;
  }
  return package;
}

std::vector<FilePart> signParts(std::vector<FilePart> parts) {
  static KeyFile keys;
  static const bool keysRead = [] {
    std::string error;
    const bool ok = readKeyFile(TEST_KEY_FILE, keys, error);
    if (!ok) ADD_FAILURE() << error;
    return ok;
  }();
  if (!keysRead) return parts;
  std::string covered;
  for (const FilePart& part : parts) covered += testpkg::part(part.type, part.data);
  covered += testpkg::le16(9) + testpkg::le32(132);
  SHA1 hash;
  hash.update(covered.data(), covered.size());
  uint8_t digest[32] = {};
  hash.final(digest);
  std::vector<uint8_t> signature;
  EXPECT_TRUE(makeSignaturePart(keys, digest, true, signature));
  parts.push_back(FilePart{9, std::string(signature.begin(), signature.end())});
  return parts;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = getenv(name)) {
    had_ = true;
    old_ = old;
  }
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

std::map<std::string, std::string> snapshot(const PrivateRoot& root, const std::string& inside) {
  std::map<std::string, std::string> tree;
  walk(root.host(inside), inside, tree);
  tree.erase("/flash/postlog");
  return tree;
}

std::vector<std::string> temporaryFiles(const PrivateRoot& root, const std::string& inside) {
  std::vector<std::string> found;
  for (const auto& entry : snapshot(root, inside))
    if (isTemporaryName(entry.first)) found.push_back(entry.first);
  return found;
}

std::vector<std::string> postLog(const PrivateRoot& root) {
  std::vector<std::string> lines;
  std::istringstream in(root.read("/flash/postlog"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string linkText(const PrivateRoot& root, const std::string& inside) {
  char text[4096] = {};
  const ssize_t n = readlink(root.host(inside).c_str(), text, sizeof text - 1);
  return n > 0 ? std::string(text, n) : "";
}

std::vector<std::string> shownNames(const PrivateRoot& root) {
  const ProgramResult result = runInstaller(root, {"-q", "--show"});
  EXPECT_EQ(0, result.status);
  std::vector<std::string> names;
  std::istringstream in(result.out);
  std::string line;
  for (int header = 0; header < 2 && std::getline(in, line); ++header) {
  }
  while (std::getline(in, line)) {
    const std::string cell = line.substr(0, 16);
    const size_t start = cell.find_first_not_of(' ');
    names.push_back(start == std::string::npos ? "" : cell.substr(start));
  }
  return names;
}

int permissions(const PrivateRoot& root, const std::string& inside) {
  struct stat info;
  if (stat(root.host(inside).c_str(), &info) != 0) return -1;
  return info.st_mode & 07777;
}

void installFromStdin(const PrivateRoot& root, const std::string& bytes) {
  const ProgramResult result = runInstaller(root, {"-"}, bytes);
  ASSERT_EQ(0, result.status) << result.out << result.err;
}

void download(const PrivateRoot& root, const std::string& bytes, const std::string& fileName,
              const std::string& directory) {
  root.write(directory + fileName, bytes);
}

uint32_t packed(unsigned major, unsigned minor, unsigned number) {
  return major << 24 | minor << 16 | 'f' << 8 | number;
}

}  // namespace e2e
