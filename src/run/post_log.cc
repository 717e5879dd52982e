#include "run/post_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "pkg/paths.h"
#include "platform/file_ops.h"
#include "platform/file_writer.h"

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
  const int fd = fileops::open(PATH_POST_LOG, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    static const char zeros[kBlankSize] = {};
    FileWriter(fd).sputn(zeros, sizeof zeros);
  }
  postLogReset = true;
}

void writePostLog(PackageDb& db) {
  if (!postLogReset && db.messages.empty()) return;
  const int fd = fileops::open(PATH_POST_LOG, O_WRONLY | O_CREAT | (postLogReset ? O_TRUNC : O_APPEND), 0644);
  if (fd < 0) return;
  sync();
  FileWriter out(fd);
  for (const std::string& message : db.messages) {
    out.sputn(message.data(), std::streamsize(message.size()));
    out.sputc('\n');
  }
}
