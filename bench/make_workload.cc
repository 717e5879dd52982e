// make_workload KIND DIR [KIB]: the file trees of scripts/bench's install
// workloads, the same bytes on every run (a seeded generator).
//
//   files KIB  half random bytes, half log-like text that compresses about
//              5:1, in eight files of each kind under bin/ and share/doc/
//   small      2,000 files: 1,000 of 4,194 random bytes under lib0..9/,
//              1,000 of 6,291 bytes of text under conf0..9/
//   rootfs     1,500 files, 67.5 MiB, shaped like a root file system: 1,200
//              small configuration files and scripts, 290 libraries of tens
//              to hundreds of KiB, 10 binaries of megabytes; the libraries
//              and binaries mix random, text and repetitive blocks so that
//              they compress as machine code does
//   tiny       20,000 files of 16 to 400 bytes of text in 200 directories
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// splitmix64: small, fast and the same everywhere.
class Generator {
 public:
  explicit Generator(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [low, high].
  uint64_t between(uint64_t low, uint64_t high) { return low + next() % (high - low + 1); }

 private:
  uint64_t state_;
};

const char* const kWords[] = {"entry", "state", "path",   "config", "level",  "info",  "value",
                              "enable", "route", "bridge", "vlan",   "filter", "accept", "drop",
                              "input", "output", "lease",  "server", "client", "timeout"};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

void appendRandom(Generator& random, std::string& out, size_t count) {
  while (count > 0) {
    const uint64_t word = random.next();
    const size_t take = count < 8 ? count : 8;
    for (size_t i = 0; i < take; ++i) out.push_back(char(word >> (8 * i)));
    count -= take;
  }
}

// Lines such as "00000042 route=7f3a02c1 level=info path=/var/log/item5".
void appendText(Generator& random, std::string& out, size_t count) {
  const size_t end = out.size() + count;
  char line[128];
  static uint64_t counter = 0;
  while (out.size() < end) {
    const uint64_t word = random.next();
    const int length = snprintf(line, sizeof line, "%08llu %s=%08x %s=%s path=/var/log/item%u\n",
                                static_cast<unsigned long long>(++counter), kWords[word % kWordCount],
                                unsigned(word >> 32) & 0xFFFFu, kWords[(word >> 8) % kWordCount],
                                kWords[(word >> 16) % kWordCount], unsigned(word >> 24) % 13);
    out.append(line, size_t(length));
  }
  out.resize(end);
}

// Blocks of random bytes, text and repeated tables, as in machine code and
// its data.
void appendBinary(Generator& random, std::string& out, size_t count) {
  constexpr size_t kBlock = 4096;
  while (count > 0) {
    const size_t take = count < kBlock ? count : kBlock;
    const uint64_t kind = random.next() % 10;
    if (kind < 4) {
      appendRandom(random, out, take);
    } else if (kind < 7) {
      appendText(random, out, take);
    } else {
      const uint64_t pattern = random.next();
      for (size_t i = 0; i < take; ++i) out.push_back(char(i % 16 < 8 ? pattern >> (8 * (i % 8)) : 0));
    }
    count -= take;
  }
}

bool makeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    if (mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return false;
  return true;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  if (!makeDirectories(path)) return false;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

bool makeFiles(const std::string& dir, size_t kib) {
  Generator random(1);
  const size_t part = kib / 16 * 1024;
  for (int i = 0; i < 8; ++i) {
    std::string blob, text;
    appendRandom(random, blob, part);
    appendText(random, text, part);
    if (!writeFile(dir + "/bin/blob" + std::to_string(i), blob) ||
        !writeFile(dir + "/share/doc/text" + std::to_string(i), text))
      return false;
  }
  return true;
}

bool makeSmall(const std::string& dir) {
  Generator random(2);
  for (int i = 0; i < 1000; ++i) {
    std::string blob, text;
    appendRandom(random, blob, 4194);
    appendText(random, text, 6291);
    const std::string number = std::to_string(i);
    if (!writeFile(dir + "/lib" + std::to_string(i % 10) + "/lib." + number, blob) ||
        !writeFile(dir + "/conf" + std::to_string(i % 10) + "/conf." + number, text))
      return false;
  }
  return true;
}

bool makeRootfs(const std::string& dir) {
  Generator random(3);
  const size_t total = size_t(675) * 1024 * 1024 / 10;
  size_t written = 0;
  const char* const configDirs[] = {"etc", "etc/init.d", "etc/config", "usr/share/scripts", "lib/firmware"};
  for (int i = 0; i < 1200; ++i) {
    std::string text;
    appendText(random, text, random.between(100, 6000));
    written += text.size();
    if (!writeFile(dir + "/" + configDirs[i % 5] + "/file" + std::to_string(i), text)) return false;
  }
  for (int i = 0; i < 290; ++i) {
    std::string library;
    appendBinary(random, library, random.between(20, 280) * 1024);
    written += library.size();
    if (!writeFile(dir + "/lib/lib" + std::to_string(i) + ".so", library)) return false;
  }
  // Ten binaries share what is left, the last taking the remainder.
  for (int i = 0; i < 10; ++i) {
    const size_t left = total > written ? total - written : 0;
    const size_t size = i == 9 ? left : left / (10 - i) / 2 + random.between(0, left / (10 - i));
    std::string binary;
    appendBinary(random, binary, size);
    written += binary.size();
    if (!writeFile(dir + "/bin/program" + std::to_string(i), binary)) return false;
  }
  return true;
}

bool makeTiny(const std::string& dir) {
  Generator random(4);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    appendText(random, text, random.between(16, 400));
    if (!writeFile(dir + "/d" + std::to_string(i % 200) + "/f" + std::to_string(i), text)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: make_workload files|small|rootfs|tiny DIR [KIB]\n");
    return 2;
  }
  const std::string kind = argv[1];
  const std::string dir = argv[2];
  bool made = false;
  if (kind == "files" && argc == 4)
    made = makeFiles(dir, strtoul(argv[3], nullptr, 10));
  else if (kind == "small")
    made = makeSmall(dir);
  else if (kind == "rootfs")
    made = makeRootfs(dir);
  else if (kind == "tiny")
    made = makeTiny(dir);
  else {
    fprintf(stderr, "make_workload: unknown kind '%s'\n", kind.c_str());
    return 2;
  }
  if (!made) {
    fprintf(stderr, "make_workload: cannot write below %s: %s\n", dir.c_str(), strerror(errno));
    return 1;
  }
  return 0;
}
