#include "verify_command.h"

#include <cstdio>

#include "command_options.h"
#include "signature_check.h"

int verifyFile(const std::string& path, bool quiet) {
  std::vector<PackageSignature> signatures;
  if (!checkSignatures(path, signatures)) {
    fprintf(stderr, "pkgtool: %s: not a readable package file\n", path.c_str());
    return 2;
  }
  bool enough = true;
  for (const PackageSignature& signature : signatures) {
    enough = enough && signature.enough();
    if (quiet) continue;
    const std::string name = signature.name + "-" + versionText(signature.version);
    printf("%s: %s, level %d required: %s\n", name.c_str(),
           signature.hasSignaturePart ? signatureLevelName(signature.reached) : "no signature part",
           signature.required, signature.enough() ? "ok" : "NOT ENOUGH");
  }
  return enough ? 0 : 1;
}

int runVerify(const std::vector<std::string>& args) {
  CommandOptions options;
  std::string error;
  if (!parseCommandOptions(args, {{"-q", "--quiet", false}}, options, error) ||
      options.operands.size() != 1) {
    if (!error.empty()) fprintf(stderr, "pkgtool verify: %s\n", error.c_str());
    fprintf(stderr, "usage: pkgtool verify [-q] FILE\n");
    return 2;
  }
  return verifyFile(options.operands[0], options.has("--quiet"));
}
