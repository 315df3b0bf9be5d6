// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A generated shooting day for the conform tests: split source files of a
// second recorder against takes of two tracks.

#include "ConformPlan.h"
#include "InsertionFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace fixtures {

constexpr quint32 kDayRate = 8000;
constexpr quint64 kT0 = 10 * kHour * kDayRate;   // 10:00:00

// A day: sources (a boom recorder that splits its files) against takes of
// two tracks, all 8 kHz 16-bit; seconds are counted from 10:00:00.
struct Day
{
    QTemporaryDir dir;
    QString source;
    QString target;
    QMap<QString, quint32> seeds;   // source file -> audio seed

    Day()
    {
        source = dir.path() + QStringLiteral("/boom");
        target = dir.path() + QStringLiteral("/day");
        QDir().mkpath(source);
        QDir().mkpath(target);
    }
    void addSource(const QString& name, double startSec, double seconds, quint32 rate = kDayRate, quint16 channels = 1)
    {
        const quint32 seed = 100 + quint32(seeds.size());
        seeds.insert(name, seed);
        const quint64 start = quint64(10 * kHour * rate + startSec * rate);
        QVERIFY(writeSource(source + QLatin1Char('/') + name, rate, 16, quint32(seconds * rate), start, seed, channels));
    }
    // The same in frames from 10:00:00 at the day's rate.
    void addSourceFrames(const QString& name, quint64 startFrame, quint32 frames)
    {
        const quint32 seed = 100 + quint32(seeds.size());
        seeds.insert(name, seed);
        QVERIFY(writeSource(source + QLatin1Char('/') + name, kDayRate, 16, frames, kT0 + startFrame, seed));
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
        addSource(QStringLiteral("A_0001.WAV"), 0, 10);
        addSource(QStringLiteral("A_0002.WAV"), 10, 10);   // back to back with A_0001
        addSource(QStringLiteral("A_0003.WAV"), 25, 15);   // after a 5 s gap
        addSource(QStringLiteral("B_0001.WAV"), 60, 10);
        addSource(QStringLiteral("B_0002.WAV"), 65, 10);   // overlaps B_0001
        addSource(QStringLiteral("C_0001.WAV"), 80, 10, 16000);
        addTake(QStringLiteral("AA0001"), 2, 6);
        addTake(QStringLiteral("AA0002"), 5, 10);
        addTake(QStringLiteral("AA0003"), 18, 12);
        addTake(QStringLiteral("AA0004"), 62, 6);
        addTake(QStringLiteral("AA0005"), 82, 6);
        addTake(QStringLiteral("AA0006"), 200, 5);
        addTake(QStringLiteral("AA0007"), 22, 6);
        addTake(QStringLiteral("AA0008"), 35, 10);
        addTake(QStringLiteral("AA0009"), 24, 17);
        addTake(QStringLiteral("AA0010"), 16, 4);
        addTake(QStringLiteral("AA0011"), 20, 5);
        addTake(QStringLiteral("AA0012"), 2, 2, {1, 2, 3});
        // A poly take, and a take whose second file is shorter than its first.
        RecorderFileSpec poly = spec(kDayRate, 16, 4 * kDayRate, kT0 + 3 * kDayRate);
        poly.channels = 2;
        QVERIFY(RecorderFileWriter::write(target + QStringLiteral("/AA0013PX.WAV"), poly));
        RecorderFileSpec odd = spec(kDayRate, 16, 4 * kDayRate, kT0 + 3 * kDayRate);
        QVERIFY(RecorderFileWriter::write(target + QStringLiteral("/AA0014_01.WAV"), RecorderFileWriter::monoTrackSpec(odd, 2, 1)));
        odd.frames = 3 * kDayRate;
        QVERIFY(RecorderFileWriter::write(target + QStringLiteral("/AA0014_02.WAV"), RecorderFileWriter::monoTrackSpec(odd, 2, 2)));
    }
    ConformPlan plan(int track, const QStringList& ids = {}) const
    {
        ConformRequest r;
        r.sourceFolder = source;
        r.targetFolder = target;
        r.track = track;
        r.fileIds = ids;
        return BuildConformPlan(r);
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
};

} // namespace fixtures
