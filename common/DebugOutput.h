// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// printf-style diagnostics. The format is always a literal of ours; user text
// (file names may hold '%') only ever travels as an argument.
void MyQDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes to standard output and the same text to the debug output; returns
// what printf returns.
int MyPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
