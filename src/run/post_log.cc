#include "run/post_log.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "pkg/paths.h"

namespace {

const size_t kBlankSize = 4096;

// Set once the log has been read and blanked in this run.
bool postLogReset = false;

}  // namespace

void readPostLog(PackageDb& db) {
  {
    std::ifstream in(PATH_POST_LOG, std::ios::binary);
    std::string line;
    std::vector<std::string> earlier;
    // Only lines ended by their line feed are taken: a blanked log, or a
    // last line cut short, is not a message.
    while (std::getline(in, line) && !in.eof()) earlier.push_back(line);
    // The earlier run's lines go before everything this run has printed,
    // also what it printed before the log was read.
    db.messages.insert(db.messages.begin(), earlier.begin(), earlier.end());
  }
  FILE* out = fopen(PATH_POST_LOG, "wb");
  if (out) {
    static const char zeros[kBlankSize] = {};
    fwrite(zeros, 1, sizeof zeros, out);
    fclose(out);
  }
  postLogReset = true;
}

void writePostLog(PackageDb& db) {
  if (!postLogReset && db.messages.empty()) return;
  FILE* out = fopen(PATH_POST_LOG, postLogReset ? "wb" : "ab");
  if (!out) return;
  sync();
  for (const std::string& message : db.messages) {
    fwrite(message.data(), 1, message.size(), out);
    fputc('\n', out);
  }
  fclose(out);
}
