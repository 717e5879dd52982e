#include "support/private_root.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void makeDirsOnHost(const std::string& path) {
  for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
    if (slash == std::string::npos) break;
  }
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

// Feeds input to the child's standard input while collecting its output and
// error, so that neither side blocks on a full pipe.
void exchange(int inFd, int outFd, int errFd, const std::string& input, ProgramResult& result) {
  size_t written = 0;
  if (input.empty()) { close(inFd); inFd = -1; }
  char buffer[65536];
  while (outFd >= 0 || errFd >= 0 || inFd >= 0) {
    pollfd fds[3];
    int count = 0;
    if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
    if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        const ssize_t n = write(inFd, input.data() + written, input.size() - written);
        if (n > 0) written += n;
        if (n < 0 || written == input.size()) { close(inFd); inFd = -1; }
        continue;
      }
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      std::string& sink = fds[i].fd == outFd ? result.out : result.err;
      if (n > 0) {
        sink.append(buffer, n);
      } else {
        close(fds[i].fd);
        (fds[i].fd == outFd ? outFd : errFd) = -1;
      }
    }
  }
}

// The environment of a started program. Built with AddressSanitizer, a
// program that changes root (into a root without /proc) cannot look for
// leaks at its end, and would fail for it: it is started with the leak check
// off.
std::vector<std::string> programEnvironment(const std::vector<std::string>& argv, const std::string& rootDir) {
  std::vector<std::string> environment;
  for (char** variable = environ; *variable; ++variable) environment.push_back(*variable);
#ifdef __SANITIZE_ADDRESS__
  const bool changesRoot =
      !rootDir.empty() || std::find(argv.begin(), argv.end(), std::string("-r")) != argv.end();
  if (changesRoot) {
    auto options = std::find_if(environment.begin(), environment.end(), [](const std::string& variable) {
      return variable.compare(0, 13, "ASAN_OPTIONS=") == 0;
    });
    if (options == environment.end())
      environment.push_back("ASAN_OPTIONS=detect_leaks=0");
    else
      *options += ":detect_leaks=0";
  }
#else
  (void)argv;
  (void)rootDir;
#endif
  return environment;
}

// Starts argv[0] with the given root (none when empty) and collects what it
// prints.
ProgramResult spawn(const std::vector<std::string>& argv, const std::string& rootDir,
                    const std::string& input) {
  ProgramResult result;
  const std::vector<std::string> environment = programEnvironment(argv, rootDir);
  std::vector<char*> args, variables;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  for (const std::string& variable : environment) variables.push_back(const_cast<char*>(variable.c_str()));
  variables.push_back(nullptr);
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    // A program that changes its own root needs to be root, or root in a
    // namespace of its own.
    if (!rootDir.empty() ? !enterRoot(rootDir) : (geteuid() != 0 && !enterUserNamespace())) _exit(126);
    execve(args[0], args.data(), variables.data());
    fprintf(stderr, "cannot start %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  exchange(in[1], out[0], err[0], input, result);
  result.status = waitStatus(pid);
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
  makeDirsOnHost(to.substr(0, to.rfind('/')));
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.close();
  chmod(to.c_str(), 0755);
}

// The shared libraries that a dynamically linked program loads, as ldd lists
// them; none for a static one.
std::vector<std::string> sharedLibraries(const std::string& program) {
  std::vector<std::string> libraries;
  FILE* pipe = popen(("ldd " + program + " 2>/dev/null").c_str(), "r");
  if (!pipe) return libraries;
  char line[1024];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream words(line);
    std::string word;
    while (words >> word)
      if (word[0] == '/') libraries.push_back(word);
  }
  pclose(pipe);
  return libraries;
}

}  // namespace

std::string makeTemporaryDirectory(const std::string& prefix) {
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    ADD_FAILURE() << "cannot make a temporary directory: " << strerror(errno);
    return "";
  }
  return buffer.data();
}

void removeTemporaryDirectory(const std::string& path) {
  if (path.empty() || getenv("KEEP_PRIVATE_ROOT")) return;
  const std::string command = "rm -rf '" + path + "'";
  if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

PrivateRoot::PrivateRoot() : root_(makeTemporaryDirectory("installer-root")) {
  if (root_.empty()) return;
  chmod(root_.c_str(), 0755);
  for (const char* dir : {"/flash/boot", "/flash/var/pdb", "/ram/pdb", "/rw/pckg", "/tmp"})
    makeDir(dir);
}

PrivateRoot::~PrivateRoot() { removeTemporaryDirectory(root_); }

void PrivateRoot::write(const std::string& inside, const std::string& content) const {
  const std::string path = host(inside);
  makeDirsOnHost(path.substr(0, path.rfind('/')));
  writeText(path, content);
}

std::string PrivateRoot::read(const std::string& inside) const {
  std::ifstream in(host(inside), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PrivateRoot::exists(const std::string& inside) const {
  struct stat info;
  return lstat(host(inside).c_str(), &info) == 0;
}

void PrivateRoot::makeDir(const std::string& inside) const { makeDirsOnHost(host(inside)); }

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

std::string installerPath() { return INSTALLER_PATH; }
std::string faultyInstallerPath() { return FAULTY_INSTALLER_PATH; }

std::string pkgtoolPath() { return PKGTOOL_PATH; }

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
  std::string emulator;
  if (std::strlen(TEST_EMULATOR) > 0) {
    emulator = "/.test-bin/emulator";
    copyHostFile(TEST_EMULATOR, root.host(emulator));
  } else {
    for (const std::string& library : sharedLibraries(program))
      copyHostFile(library, root.host(library));
  }
  std::vector<std::string> argv;
  if (!emulator.empty()) argv.push_back(emulator);
  argv.push_back("/.test-bin/installer");
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn(argv, root.path(), input);
}
