#include "platform/root_path.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <vector>

namespace {

// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;

// The non-empty components of a path, in front of those still to go.
void putInFront(const std::string& path, std::deque<std::string>& todo) {
  std::deque<std::string> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  todo.insert(todo.begin(), parts.begin(), parts.end());
}

// The directories opened below the root on the way, innermost last.
class Way {
 public:
  explicit Way(int root) : root_(root) {}
  ~Way() { backToRoot(); }
  Way(const Way&) = delete;
  Way& operator=(const Way&) = delete;

  int current() const { return opened_.empty() ? root_ : opened_.back(); }
  void enter(int directory) { opened_.push_back(directory); }
  void up() {
    if (opened_.empty()) return;  // ".." of the root is the root
    close(opened_.back());
    opened_.pop_back();
  }
  void backToRoot() {
    while (!opened_.empty()) up();
  }
  // The current directory, handed to the caller.
  int release() {
    if (opened_.empty()) return fcntl(root_, F_DUPFD_CLOEXEC, 0);
    const int directory = opened_.back();
    opened_.pop_back();
    return directory;
  }

 private:
  int root_;
  std::vector<int> opened_;
};

// Reads the link called name in directory into target; false when it is
// no link (or not there).
bool readLink(int directory, const std::string& name, std::string& target) {
  char buffer[4096];
  const ssize_t length = readlinkat(directory, name.c_str(), buffer, sizeof buffer);
  if (length < 0) return false;
  target.assign(buffer, size_t(length));
  return true;
}

}  // namespace

int resolveInRoot(int root, const std::string& path, std::string& last) {
  Way way(root);
  std::deque<std::string> todo;
  putInFront(path, todo);
  int links = 0;
  last = ".";
  while (!todo.empty()) {
    const std::string name = todo.front();
    todo.pop_front();
    if (name == "." || name == "..") {
      if (name == "..") way.up();
      continue;
    }
    const bool final = todo.empty();
    if (!final) {
      const int directory =
          openat(way.current(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (directory >= 0) {
        way.enter(directory);
        continue;
      }
    }
    const int failure = errno;
    std::string target;
    if (!readLink(way.current(), name, target)) {
      if (!final) {
        errno = failure;
        return -1;
      }
      last = name;
      break;
    }
    if (++links > kMostLinks || target.empty()) {
      errno = target.empty() ? ENOENT : ELOOP;
      return -1;
    }
    if (target[0] == '/') way.backToRoot();
    putInFront(target, todo);
  }
  return way.release();
}

int openDirectoryInRoot(int root, const std::string& path) {
  std::string last;
  const int holder = resolveInRoot(root, path, last);
  if (holder < 0) return -1;
  const int directory = openat(holder, last.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int failure = errno;
  close(holder);
  errno = failure;
  return directory;
}
