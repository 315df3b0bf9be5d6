// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How a source file's span covers a take's span (samples since midnight).
enum class Coverage { None, EntireTake, MissingStart, PartialCoverage, MissingEnd };

struct SampleSpan
{
    qint64 in = 0;
    qint64 out = 0;
};

// The four classes with their exact strict and non-strict comparisons.
Coverage ClassifyCoverage(const SampleSpan& source, const SampleSpan& take);

// "entire", "missing_start", "partial", "missing_end", "none"
QString CoverageKey(Coverage c);

struct CoverageCounts
{
    int entire = 0;
    int missingStart = 0;
    int partial = 0;
    int missingEnd = 0;
    void add(Coverage c);
    bool any() const { return entire + missingStart + partial + missingEnd > 0; }
};

// "%d entire take " ... "founded", or "Source file timecode doesn't match with any target file."
QString CoverageStatusText(const CoverageCounts& counts);

// Reads the source's span. Returns true on failure (the file cannot be opened).
bool GetInOutTimecode(const QString& path, long long* in, long long* out);
// The same, also telling whether the chunks could be read (a file that opens
// but is not a sound file gives the span 0 .. 0).
bool GetInOutTimecode(const QString& path, long long* in, long long* out, bool* chunksRead);
