#include "support/private_root.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string readText(const std::string& path) {
  // A FIFO, left by a test of what the installer makes of one, is no file
  // to wait on.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A new directory under $TMPDIR (or /tmp) named prefix-XXXXXX; "" when it
// cannot be made.
std::string makeTemporaryDirectory(const std::string& prefix) {
  const char* tmp = getenv("TMPDIR");
  std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  if (mkdtemp(&name[0])) return name;
  ADD_FAILURE() << "cannot make a temporary directory: " << strerror(errno);
  return "";
}

// Moves the calling process into a new user and mount namespace in which it
// is root, so that it may chroot without being root on the host.
bool enterUserNamespace() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  writeText("/proc/self/setgroups", "deny");
  writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n");
  writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n");
  return getuid() == 0;
}

// Changes the process root to dir, by the means this process has. Prints why
// when it cannot.
bool enterRoot(const std::string& dir) {
  if (geteuid() != 0 && !enterUserNamespace()) {
    fprintf(stderr, "private root: not root and no user namespace: %s\n", strerror(errno));
    return false;
  }
  if (chroot(dir.c_str()) != 0 || chdir("/") != 0) {
    fprintf(stderr, "private root: cannot enter %s: %s\n", dir.c_str(), strerror(errno));
    return false;
  }
  return true;
}

int waitStatus(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Where a program of a sanitized build will run when that is a private
// root: the root it is started in, or the root that the installer changes
// into (the last -r); "" otherwise, and in every other build.
std::string sanitizedProgramRoot(const std::vector<std::string>& argv, const std::string& rootDir) {
#ifdef __SANITIZE_ADDRESS__
  if (!rootDir.empty()) return rootDir;
  for (size_t at = argv.size(); at-- > 1;)
    if (argv[at - 1] == "-r") return argv[at];
#else
  (void)argv;
  (void)rootDir;
#endif
  return "";
}

// The sanitizer runtimes read their options from /proc/self/environ and
// their program's path from /proc/self/exe (else they warn on standard
// error), and the leak check at the end lists the threads in /proc: the
// calling process is given the host's /proc in the root, in a mount
// namespace of its own, which goes with it. Says why when it cannot.
bool giveProc(const std::string& root) {
  const std::string target = root + "/proc";
  const bool given = (mkdir(target.c_str(), 0555) == 0 || errno == EEXIST) &&
                     (geteuid() == 0 ? unshare(CLONE_NEWNS) == 0 : enterUserNamespace()) &&
                     mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                     mount("/proc", target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
  if (!given) fprintf(stderr, "private root: cannot give %s a /proc: %s\n", root.c_str(), strerror(errno));
  return given;
}

// Starts argv[0] with the given root (none when empty). Its output and
// error go to files, so that feeding its input through the pipe cannot
// block on a full pipe the other way; a program that stops reading early
// ends the input.
ProgramResult spawn(const std::vector<std::string>& argv, const std::string& rootDir,
                    const std::string& input) {
  ProgramResult result;
  const std::string procRoot = sanitizedProgramRoot(argv, rootDir);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const std::string out = makeTemporaryDirectory("program");
  int in[2];
  if (out.empty() || pipe(in) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    for (int fd : {1, 2}) {
      const int file = open((out + (fd == 1 ? "/out" : "/err")).c_str(), O_WRONLY | O_CREAT, 0644);
      dup2(file, fd);
      close(file);
    }
    close(in[0]);
    close(in[1]);
    // A program that changes its own root needs to be root, or root in a
    // namespace of its own.
    struct stat info;
    if (!procRoot.empty() && stat(procRoot.c_str(), &info) == 0 && !giveProc(procRoot)) _exit(126);
    if (!rootDir.empty() ? !enterRoot(rootDir) : (geteuid() != 0 && !enterUserNamespace())) _exit(126);
    execv(args[0], args.data());
    fprintf(stderr, "cannot start %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  close(in[0]);
  signal(SIGPIPE, SIG_IGN);
  for (size_t written = 0; written < input.size();) {
    const ssize_t n = write(in[1], input.data() + written, input.size() - written);
    if (n <= 0 && errno != EINTR) break;
    written += n > 0 ? n : 0;
  }
  close(in[1]);
  result.status = waitStatus(pid);
  result.out = readText(out + "/out");
  result.err = readText(out + "/err");
  std::error_code error;
  fs::remove_all(out, error);
  return result;
}

std::vector<std::string> commandLine(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  if (std::strlen(TEST_EMULATOR) > 0) argv.push_back(TEST_EMULATOR);
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

void copyHostFile(const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  chmod(to.c_str(), 0755);
}

// The shared libraries that a dynamically linked program loads, as ldd lists
// them; none for a static one.
std::vector<std::string> sharedLibraries(const std::string& program) {
  std::vector<std::string> libraries;
  std::istringstream words(runProgram("/usr/bin/ldd", {program}).out);
  for (std::string word; words >> word;)
    if (word[0] == '/') libraries.push_back(word);
  return libraries;
}

}  // namespace

PrivateRoot::PrivateRoot() : root_(makeTemporaryDirectory("installer-root")) {
  if (root_.empty()) return;
  chmod(root_.c_str(), 0755);
  for (const char* dir : {"/flash/boot", "/flash/var/pdb", "/ram/pdb", "/rw/pckg", "/tmp"})
    makeDir(dir);
}

PrivateRoot::~PrivateRoot() {
  std::error_code error;
  if (!root_.empty() && !getenv("KEEP_PRIVATE_ROOT")) fs::remove_all(root_, error);
}

void PrivateRoot::write(const std::string& inside, const std::string& content, mode_t mode) const {
  makeDir(fs::path(inside).parent_path());
  writeText(host(inside), content);
  chmod(host(inside).c_str(), mode);
}

std::string PrivateRoot::read(const std::string& inside) const { return readText(host(inside)); }

bool PrivateRoot::exists(const std::string& inside) const {
  struct stat info;
  return lstat(host(inside).c_str(), &info) == 0;
}

void PrivateRoot::makeDir(const std::string& inside) const {
  std::error_code error;
  fs::create_directories(host(inside), error);
}

bool runInRoot(const PrivateRoot& root, const std::function<void()>& body) {
  if (root.path().empty()) return false;
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (!enterRoot(root.path())) _exit(125);
    body();
    fflush(stdout);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  const int status = waitStatus(pid);
  if (status == 125) ADD_FAILURE() << "the test could not enter its private root";
  return status == 0;
}

std::string readFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "<not a file>";
  if (info.st_size > (64 << 20)) return "<" + std::to_string(info.st_size) + " bytes>";
  return readText(path);
}

std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> tree;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, error), end; it != end; it.increment(error))
    tree[it->path()] = it->is_symlink()     ? "-> " + fs::read_symlink(it->path()).string()
                       : it->is_directory() ? "<dir>"
                                            : readFile(it->path());
  return tree;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
  return spawn(commandLine(program, args), "", input);
}

ProgramResult runInstaller(const PrivateRoot& root, const std::vector<std::string>& args,
                           const std::string& input, const std::string& program) {
  std::vector<std::string> all = {"-r", root.path()};
  all.insert(all.end(), args.begin(), args.end());
  return runProgram(program, all, input);
}

ProgramResult runInstallerInside(const PrivateRoot& root, const std::vector<std::string>& args,
                                 const std::string& input, const std::string& program) {
  copyHostFile(program, root.host("/.test-bin/installer"));
  std::vector<std::string> argv;
  if (std::strlen(TEST_EMULATOR) > 0) {
    copyHostFile(TEST_EMULATOR, root.host("/.test-bin/emulator"));
    argv.push_back("/.test-bin/emulator");
  } else {
    for (const std::string& library : sharedLibraries(program))
      copyHostFile(library, root.host(library));
  }
  argv.push_back("/.test-bin/installer");
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn(argv, root.path(), input);
}
