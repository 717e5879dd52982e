// Texts of a package file as pkgtool shows them: one line per field, in the
// description's own syntax.
#pragma once

#include <string>

#include "pkg/package.h"

// Control characters, backslashes and bytes above 0x7E as \xNN, so that a
// text stays one line and reads the same on every terminal.
std::string escapedText(const std::string& text);

// name [= V | >= V] [<= V] [extra N], as a description writes a relation.
std::string relationText(const DependencyEntry& entry);

// 0x00000003 boot no-meta: the flags word, then the name of each flag set.
std::string flagsText(uint32_t flags);
