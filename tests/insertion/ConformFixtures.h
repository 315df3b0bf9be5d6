// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A generated shooting day for the conform tests.

#include "ConformPlan.h"
#include "InsertionFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace fixtures {

constexpr quint32 kDayRate = 8000;
constexpr quint64 kT0 = 10 * kHour * kDayRate;   // 10:00:00

// A day: sources (a boom recorder that splits its files) against takes of two tracks, all 8 kHz 16-bit; seconds are
// counted from 10:00:00.
struct Day
{
    QTemporaryDir dir;
    QString source;
    QString target;
    QMap<QString, quint32> seeds;   // source file -> audio seed

    Day()
    {
        QDir().mkpath(source = dir.path() + QStringLiteral("/boom"));
        QDir().mkpath(target = dir.path() + QStringLiteral("/day"));
    }
    void addSource(const QString& name, double startSec, double seconds, quint32 rate = kDayRate, quint16 channels = 1)
    {
        addSourceFrames(name, quint64(startSec * rate), quint32(seconds * rate), rate, channels);
    }
    // The same in frames from 10:00:00.
    void addSourceFrames(const QString& name, quint64 startFrame, quint32 frames, quint32 rate = kDayRate, quint16 channels = 1)
    {
        seeds.insert(name, 100 + quint32(seeds.size()));
        const quint64 start = 10 * kHour * rate + startFrame;
        QVERIFY(writeSource(source + QLatin1Char('/') + name, rate, 16, frames, start, seeds.value(name), channels));
    }
    void addTake(const QString& root, double startSec, double seconds, const QList<int>& tracks = {1, 2})
    {
        RecorderFileSpec base = spec(kDayRate, 16, quint32(seconds * kDayRate), kT0 + quint64(startSec * kDayRate));
        const int highest = tracks.isEmpty() ? 1 : *std::max_element(tracks.begin(), tracks.end());
        for (int n : tracks)
            QVERIFY(RecorderFileWriter::write(target + QStringLiteral("/%1_%2.WAV").arg(root).arg(n, 2, 10, QLatin1Char('0')),
                                              RecorderFileWriter::monoTrackSpec(base, highest, n)));
    }
    // The day of the plan tests.
    void standard()
    {
        const struct { const char* name; double start, seconds; quint32 rate; } sources[] = {
            {"A_0001.WAV", 0, 10, kDayRate}, {"A_0002.WAV", 10, 10, kDayRate},   // back to back
            {"A_0003.WAV", 25, 15, kDayRate},                                     // after a 5 s gap
            {"B_0001.WAV", 60, 10, kDayRate}, {"B_0002.WAV", 65, 10, kDayRate},   // overlapping
            {"C_0001.WAV", 80, 10, 16000}};
        for (const auto& s : sources)
            addSource(QLatin1String(s.name), s.start, s.seconds, s.rate);
        const double takes[][2] = {{2, 6}, {5, 10}, {18, 12}, {62, 6}, {82, 6}, {200, 5}, {22, 6}, {35, 10}, {24, 17}, {16, 4}, {20, 5}};
        for (int i = 0; i < 11; ++i)
            addTake(QStringLiteral("AA%1").arg(i + 1, 4, 10, QLatin1Char('0')), takes[i][0], takes[i][1]);
        addTake(QStringLiteral("AA0012"), 2, 2, {1, 2, 3});
        // A poly take, and a take whose second file is shorter than its first.
        RecorderFileSpec poly = spec(kDayRate, 16, 4 * kDayRate, kT0 + 3 * kDayRate);
        poly.channels = 2;
        QVERIFY(RecorderFileWriter::write(file(QStringLiteral("AA0013PX.WAV")), poly));
        RecorderFileSpec odd = spec(kDayRate, 16, 4 * kDayRate, kT0 + 3 * kDayRate);
        QVERIFY(RecorderFileWriter::write(file(QStringLiteral("AA0014_01.WAV")), RecorderFileWriter::monoTrackSpec(odd, 2, 1)));
        odd.frames = 3 * kDayRate;
        QVERIFY(RecorderFileWriter::write(file(QStringLiteral("AA0014_02.WAV")), RecorderFileWriter::monoTrackSpec(odd, 2, 2)));
    }
    ConformPlan plan(int track, const QStringList& ids = {}, int sourceChannel = 0) const
    {
        ConformRequest r;
        std::tie(r.sourceChannel, r.sourceFolder, r.targetFolder, r.track, r.fileIds) = std::tie(sourceChannel, source, target, track, ids);
        return BuildConformPlan(r);
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
};

} // namespace fixtures
