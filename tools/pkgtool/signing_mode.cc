#include "signing_mode.h"

namespace {

struct ModeName {
  SigningMode mode;
  const char* name;
};

const ModeName kModes[] = {{SigningMode::None, "none"},
                           {SigningMode::Legacy, "legacy"},
                           {SigningMode::Eddsa, "eddsa"},
                           {SigningMode::Both, "both"}};

}  // namespace

bool parseSigningMode(const std::string& text, SigningMode& mode) {
  for (const ModeName& entry : kModes) {
    if (text == entry.name) {
      mode = entry.mode;
      return true;
    }
  }
  return false;
}

const char* signingModeName(SigningMode mode) {
  for (const ModeName& entry : kModes)
    if (entry.mode == mode) return entry.name;
  return "?";
}

size_t signatureSize(SigningMode mode) {
  switch (mode) {
    case SigningMode::None:
      return 0;
    case SigningMode::Legacy:
      return 68;
    case SigningMode::Eddsa:
    case SigningMode::Both:
      return 132;
  }
  return 0;
}
