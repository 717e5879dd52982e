// The text form of versions read back into packed numbers.
#pragma once

#include <string>

#include "pkg/package.h"

// The inverse of versionText: "2.5.7" (final, number 7), "2.5" (final, 0),
// "2.5alpha1", "2.5beta3", "2.5rc1", and the stage alone ("2.5rc") for
// number 0. Major, minor and number are 0 to 255. A packed number can also
// be given in hexadecimal ("0x02056607") for versions without a text form.
// False when text is none of these.
bool parseVersion(const std::string& text, Version& version);
