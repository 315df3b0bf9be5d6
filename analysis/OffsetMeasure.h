// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPair>
#include <QVector>
#include <QtGlobal>

#include <optional>

// Offset and drift of one track against another, window by window, with a
// verdict. Widget-free and file-free: the samples come from a SampleReader.

// Mono samples as floats in [-1, 1), read by position.
class SampleReader
{
public:
    virtual ~SampleReader() = default;
    virtual qint64 SampleCount() const = 0;
    // Reads `count` samples starting at `start`; false when they cannot be read.
    virtual bool Read(qint64 start, qint64 count, float* out) = 0;
};

enum class SyncVerdict { NoMatch, Drift, Offset, InSync };

// "no_match", "drift", "offset", "in_sync".
const char* SyncVerdictKey(SyncVerdict verdict);

struct OffsetOptions
{
    // No window is longer than this, whatever rate a file claims: a take
    // shorter than three windows is one window, so windows stay below a third.
    static constexpr qint64 kMaxWindowSamples = qint64(1) << 23;

    double sampleRate = 48000;
    double windowSeconds = 10.0;   // long enough to hold a few sentences
    int maxWindows = 9;
    double toleranceMs = 10.0;
    // A window whose correlation peak stands less than this many standard
    // deviations above the background is not a match. The highest peak of two
    // unrelated 10 s signals stays below 8.
    double minConfidence = 12.0;
};

struct OffsetWindow
{
    qint64 startSample = 0;
    qint64 length = 0;
    std::optional<double> offsetSamples;   // null: this window did not match
    double confidence = 0;
};

struct OffsetMeasurement
{
    QVector<OffsetWindow> windows;
    std::optional<double> offsetSamples;   // median of the matched windows; > 0: the track is late
    std::optional<double> driftSamples;    // last matched window's offset minus the first's
    // Median confidence of the matched windows; with none, the best window's.
    double confidence = 0;
    SyncVerdict verdict = SyncVerdict::NoMatch;
};

// Windows (start, length) over `total` samples: one over everything when the
// take holds fewer than three windows, otherwise between three and
// `maxWindows`, the first at sample 0, the last ending at the last sample,
// the others evenly between.
QVector<QPair<qint64, qint64>> PlanWindows(qint64 total, qint64 windowLength, int maxWindows);

// Measures `track` against `against` over their common length. False when a
// read fails (the measurement is then incomplete and must not be used).
bool MeasureOffset(SampleReader& track, SampleReader& against, const OffsetOptions& options,
                   OffsetMeasurement* result);

// The verdict of a measurement, in this order: no match, drift beyond the
// tolerance, offset beyond it, in sync.
SyncVerdict DecideVerdict(const OffsetMeasurement& m, double sampleRate, double toleranceMs);
