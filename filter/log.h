// Diagnostics: log lines for the spooler's error log, written to a FILE*.
// Fixed texts go out whole, formatted ones through a printf-style format;
// a line carries a newline only where its text has one.
#pragma once

#include <cstdio>
#include <string_view>

void logText(FILE* log, std::string_view text);
void logFormat(FILE* log, const char* format, ...) __attribute__((format(printf, 2, 3)));
