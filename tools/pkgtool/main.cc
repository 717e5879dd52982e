// pkgtool: makes, shows and checks package files.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "build_command.h"
#include "diff_command.h"
#include "installer_version.h"
#include "package_report.h"
#include "query_command.h"
#include "verify_command.h"

namespace {

const char kUsage[] =
    "usage: pkgtool build [-o FILE] [-k KEYS] [-s MODE] DESCRIPTION\n"
    "       pkgtool inspect [--json] FILE\n"
    "       pkgtool verify [-q] FILE\n"
    "       pkgtool diff OLD NEW\n"
    "       pkgtool query ROOT [--files NAME | --owner PATH | --check]\n"
    "       pkgtool --help\n"
    "       pkgtool --version\n";

const char kHelp[] =
    "\n"
    "build    makes a package file (a bundle when the description has members)\n"
    "         from a description file; see README.md for its format.\n"
    "  -o, --output FILE  the file to write (default NAME-VERSION.npk here)\n"
    "  -k, --keys KEYS    the key file to sign with (format of keys/test-keys.txt)\n"
    "  -s, --sign MODE    none, legacy, eddsa or both (default both), for the\n"
    "                     packages whose description has no `signature` line\n"
    "inspect  shows the parts with their offsets and lengths, the metadata,\n"
    "         the file entries and the signature level of each package\n"
    "  --json             the same as one JSON document (keys in pkgtool(1))\n"
    "verify   checks that each package's signature (each member's in a bundle)\n"
    "         reaches the level the installer requires of it\n"
    "  -q, --quiet        only the exit status\n"
    "diff     what an upgrade from package file OLD to NEW changes, one line\n"
    "         per difference: version and metadata, relations, and the files\n"
    "         added, removed and changed (content, mode, hardware kind); member\n"
    "         by member for bundles\n"
    "query    reads the package database of a device root on this machine (a\n"
    "         copied or mounted flash) without changing root or writing\n"
    "         anything; lists the installed packages: name, version, marks\n"
    "  --files NAME       the files that package NAME owns (/flash/...)\n"
    "  --owner PATH       the packages that own PATH, named as on the device\n"
    "  --check            files listed but missing, and files under /flash\n"
    "                     that no package owns (the installer's own aside)\n"
    "\n"
    "Signatures are checked against the keys built into this build, as the\n"
    "installer built with it checks them. The level required depends on the\n"
    "package's name and version, and is 2 (EdDSA) for every package while the\n"
    "file /ram/SECURE exists. pkgtool looks for /ram/SECURE on the machine it\n"
    "runs on, without changing root; on a development machine it is usually\n"
    "absent.\n"
    "\n"
    "Exit status: 0 success; build: 1 failed; verify: 1 a signature does not\n"
    "reach its level; diff: 1 the files differ; inspect, verify and diff: 2\n"
    "not a readable package file;\n"
    "query: 1 not found, or --check found something, 2 no package database\n"
    "below ROOT; 2 wrong arguments.\n";

int help() {
  fputs(kUsage, stdout);
  fputs(kHelp, stdout);
  return 0;
}

bool isHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "help"; }

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    fputs(kUsage, stderr);
    return 2;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const std::string& arg : rest) {
    if (arg == "--") break;
    if (isHelp(arg) && arg != "help") return help();
  }
  if (isHelp(args[0])) return help();
  if (args[0] == "--version") {
    printf("pkgtool %s\n", INSTALLER_VERSION);
    return 0;
  }
  if (args[0] == "build") return runBuild(rest);
  if (args[0] == "inspect") return runInspect(rest);
  if (args[0] == "verify") return runVerify(rest);
  if (args[0] == "diff") return runDiff(rest);
  if (args[0] == "query") return runQuery(rest);
  fprintf(stderr, "pkgtool: unknown command '%s'\n", args[0].c_str());
  fputs(kUsage, stderr);
  return 2;
}
