// SPDX-License-Identifier: GPL-3.0-or-later
// Conform benchmark, two parts.
//
//   bench_conform plan [N]          plans N takes of 8 tracks (iXML chunks of
//       61440 bytes) against 60 source files and reports the time, best of 3,
//       next to a baseline run in the same process on the same cached files:
//       the target table's listing alone (group + quick assembly of every
//       take). The target is under 0.5 s for N = 1000.
//   bench_conform day DIR N SECONDS writes a day for bench/conform.sh: N takes
//       of 2 tracks of SECONDS at 48 kHz 24-bit in DIR/day, each lying across
//       two of the source files in DIR/boom.

#include "ConformPlan.h"
#include "QSoundPerform.h"
#include "RecorderFileWriter.h"
#include "TakeGrouping.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kTracks = 8;
constexpr int kSources = 60;
constexpr int kRuns = 3;
constexpr quint32 kRate = 48000;
constexpr quint64 kT0 = quint64(kRate) * 3600 * 8;   // 08:00:00

QString rootOf(int i)
{
    return QStringLiteral("A%1%2").arg(QLatin1Char(char('A' + (i / 10000) % 26))).arg(i % 10000, 4, 10, QLatin1Char('0'));
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A source of `frames` 24-bit samples without writing them: the data chunk
// declares them and the file is extended sparsely, as long as a real one.
bool writeSparseSource(const QString& path, quint64 start, quint32 frames)
{
    RecorderFileSpec s;
    s.frames = 16;
    s.timeReference = start;
    s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
    QList<RecorderChunkPlace> places;
    QByteArray bytes = RecorderFileWriter::build(s, &places);
    for (const RecorderChunkPlace& p : places) {
        if (p.id != "data" || p.offset + 8 + 48 != quint32(bytes.size()))
            continue;
        const quint32 data = frames * 3;
        const quint32 riff = p.offset + data;
        std::memcpy(bytes.data() + p.offset + 4, &data, 4);
        std::memcpy(bytes.data() + 4, &riff, 4);
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
            && f.resize(qint64(p.offset) + 8 + data);
    }
    return false;
}

int planBench(int takes)
{
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/day");
    const QString source = dir.path() + QStringLiteral("/boom");
    QDir().mkpath(target);
    QDir().mkpath(source);
    // Takes of 20 s every minute; their files are tiny but say so, the way
    // the listing bench's are (the plan reads headers, never samples).
    RecorderFileSpec base;
    base.frames = 16;
    std::vector<QByteArray> others;
    for (int n = 2; n <= kTracks; ++n)
        others.push_back(RecorderFileWriter::build(RecorderFileWriter::monoTrackSpec(base, kTracks, n)));
    for (int i = 0; i < takes; ++i) {
        base.timeReference = kT0 + quint64(i) * 60 * kRate;
        const QString root = rootOf(i);
        if (!writeBytes(target + QLatin1Char('/') + root + QStringLiteral("_01.WAV"),
                        RecorderFileWriter::build(RecorderFileWriter::monoTrackSpec(base, kTracks, 1))))
            return 1;
        for (int n = 2; n <= kTracks; ++n)
            if (!writeBytes(target + QLatin1Char('/') + root + QStringLiteral("_0%1.WAV").arg(n), others[size_t(n - 2)]))
                return 1;
    }
    // 60 sources, back to back, covering the whole day.
    const quint64 span = (quint64(takes) * 60 + 60) * kRate / kSources + 1;
    for (int s = 0; s < kSources; ++s)
        if (!writeSparseSource(source + QStringLiteral("/BOOM_%1.WAV").arg(s, 4, 10, QLatin1Char('0')),
                               kT0 + quint64(s) * span, quint32(span)))
            return 1;

    double bestPlan = 1e9, bestList = 1e9;
    int planned = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        int rows = 0;
        BuildTakesOfFolder(target, [&rows](std::unique_ptr<QSoundPerform>, int, int) { ++rows; });
        bestList = std::min(bestList, t.nsecsElapsed() / 1e9);
        t.restart();
        ConformRequest r;
        r.sourceFolder = source;
        r.targetFolder = target;
        r.track = 0;
        const ConformPlan plan = BuildConformPlan(r);
        bestPlan = std::min(bestPlan, t.nsecsElapsed() / 1e9);
        planned = plan.plannedCount();
        if (rows != takes || plan.takes.size() != takes)
            return 1;
    }
    std::printf("takes=%d tracks=%d sources=%d planned=%d\n", takes, kTracks, kSources, planned);
    std::printf("plan_s=%.3f listing_s=%.3f plan/listing=%.2f target_plan_s<0.5: %s\n", bestPlan, bestList,
                bestPlan / bestList, bestPlan < 0.5 ? "yes" : "NO");
    return 0;
}

int dayBench(const QString& dir, int takes, int seconds)
{
    const QString target = dir + QStringLiteral("/day");
    const QString source = dir + QStringLiteral("/boom");
    QDir().mkpath(target);
    QDir().mkpath(source);
    const quint32 frames = quint32(seconds) * kRate;
    // Takes every 2 x SECONDS; a source file ends in the middle of each take.
    for (int i = 0; i < takes; ++i) {
        RecorderFileSpec base;
        base.frames = frames;
        base.timeReference = kT0 + quint64(i) * 2 * frames;
        base.audioSeed = quint32(i + 1);
        if (!RecorderFileWriter::writeMonoTake(target, rootOf(i), 2, base))
            return 1;
    }
    // Back-to-back source files whose boundaries fall in the middle of
    // every take: each take is filled from two files.
    for (int s = 0; s <= takes; ++s) {
        RecorderFileSpec src;
        src.frames = s ? 2 * frames : frames / 2;
        src.timeReference = s ? kT0 + quint64(2 * (s - 1)) * frames + frames / 2 : kT0;
        src.audioSeed = quint32(1000 + s);
        src.withIxml = src.withFilm = src.withVlta = src.withOnde = false;
        if (!RecorderFileWriter::write(source + QStringLiteral("/BOOM_%1.WAV").arg(s, 4, 10, QLatin1Char('0')), src))
            return 1;
    }
    std::printf("takes=%d seconds=%d\n", takes, seconds);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.at(0) == QLatin1String("plan"))
        return planBench(args.size() > 1 ? args.at(1).toInt() : 1000);
    if (args.size() == 4 && args.at(0) == QLatin1String("day"))
        return dayBench(args.at(1), args.at(2).toInt(), args.at(3).toInt());
    std::fprintf(stderr, "usage: bench_conform plan [N] | bench_conform day DIR N SECONDS\n");
    return 2;
}
