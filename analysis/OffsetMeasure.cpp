// SPDX-License-Identifier: GPL-3.0-or-later
#include "OffsetMeasure.h"

#include "GccPhat.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

} // namespace

const char* SyncVerdictKey(SyncVerdict verdict)
{
    switch (verdict) {
    case SyncVerdict::NoMatch: return "no_match";
    case SyncVerdict::Drift: return "drift";
    case SyncVerdict::Offset: return "offset";
    case SyncVerdict::InSync: return "in_sync";
    }
    return "no_match";
}

QVector<QPair<qint64, qint64>> PlanWindows(qint64 total, qint64 windowLength, int maxWindows)
{
    QVector<QPair<qint64, qint64>> windows;
    if (total <= 0 || windowLength <= 0)
        return windows;
    if (total < 3 * windowLength) {
        windows.append(qMakePair(qint64(0), total));
        return windows;
    }
    const int count = int(qBound<qint64>(3, total / windowLength, qMax(3, maxWindows)));
    const qint64 span = total - windowLength;
    for (int i = 0; i < count; ++i)
        windows.append(qMakePair(span * i / (count - 1), windowLength));
    return windows;
}

SyncVerdict DecideVerdict(const OffsetMeasurement& m, double sampleRate, double toleranceMs)
{
    if (!m.offsetSamples || !m.driftSamples || !(sampleRate > 0))
        return SyncVerdict::NoMatch;
    const double tolerance = toleranceMs * sampleRate / 1000.0;
    if (std::fabs(*m.driftSamples) > tolerance)
        return SyncVerdict::Drift;
    if (std::fabs(*m.offsetSamples) > tolerance)
        return SyncVerdict::Offset;
    return SyncVerdict::InSync;
}

bool MeasureOffset(SampleReader& track, SampleReader& against, const OffsetOptions& options,
                   OffsetMeasurement* result)
{
    *result = OffsetMeasurement();
    const qint64 total = qMin(track.SampleCount(), against.SampleCount());
    const double seconds = options.windowSeconds * options.sampleRate;
    const qint64 windowLength = std::isfinite(seconds)
        ? qBound<qint64>(1, qint64(qMin(seconds, 1e15)), OffsetOptions::kMaxWindowSamples / 3)
        : OffsetOptions::kMaxWindowSamples / 3;
    const QVector<QPair<qint64, qint64>> plan = PlanWindows(total, windowLength, options.maxWindows);
    if (plan.isEmpty())
        return true;

    qint64 longest = 0;
    for (const auto& w : plan)
        longest = qMax(longest, w.second);
    GccPhat gcc(longest);
    std::vector<float> a(static_cast<size_t>(longest));
    std::vector<float> b(static_cast<size_t>(longest));
    // Side lobes of the microphones' filters stay within a few milliseconds.
    const qint64 exclusion = qMax<qint64>(8, qint64(options.sampleRate * 0.005));

    std::vector<double> offsets;
    std::vector<double> confidences;
    double best = 0;
    for (const auto& w : plan) {
        OffsetWindow window;
        window.startSample = w.first;
        window.length = w.second;
        if (!track.Read(w.first, w.second, a.data()) || !against.Read(w.first, w.second, b.data()))
            return false;
        const GccPhat::Peak peak = gcc.Measure(a.data(), b.data(), w.second, w.second / 2,
                                               qMin(exclusion, w.second / 8));
        if (peak.valid) {
            window.confidence = peak.confidence;
            if (peak.confidence >= options.minConfidence) {
                window.offsetSamples = peak.lag;
                offsets.push_back(peak.lag);
                confidences.push_back(peak.confidence);
            }
        }
        best = qMax(best, window.confidence);
        result->windows.append(window);
    }

    if (offsets.empty()) {
        result->confidence = best;
    } else {
        result->offsetSamples = median(offsets);
        result->driftSamples = offsets.back() - offsets.front();
        result->confidence = median(confidences);
    }
    result->verdict = DecideVerdict(*result, options.sampleRate, options.toleranceMs);
    return true;
}
