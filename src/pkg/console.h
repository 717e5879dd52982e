// The console: one status line rewritten in place, and message lines
// (errors, warnings, notices) that scroll above it. Every message printed is
// kept in the PackageDb's messages; quiet silences everything.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "pkg/package_db.h"

#if defined(__GNUC__)
#define CONSOLE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CONSOLE_PRINTF(fmt, args)
#endif

void showStatus(PackageDb& db, const std::string& text);

// The text with every control character (below 0x20, and 0x7F) written as
// \xHH, so that a name read from disk cannot move the cursor, clear the
// screen or break a line of the log; other bytes stay as they are.
std::string printable(const std::string& text);

// A progress bar for a package file being read: label, " [", the bar, "]",
// 77 characters in all.
void showProgress(PackageDb& db, const std::string& label, uint64_t position, uint64_t total);

// prefix may be null. The formatted text is cut to 255 characters.
void printMessage(PackageDb& db, const char* prefix, const char* format, va_list args);

void printError(PackageDb& db, const char* format, ...) CONSOLE_PRINTF(2, 3);
void printWarning(PackageDb& db, const char* format, ...) CONSOLE_PRINTF(2, 3);
void printNotice(PackageDb& db, const char* format, ...) CONSOLE_PRINTF(2, 3);
