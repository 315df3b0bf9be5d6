// SPDX-License-Identifier: GPL-3.0-or-later
// Offset and drift measured between generated microphone tracks: pure delays,
// filtered and noisy pairs, a drifting clock, and signals that do not match.

#include "OffsetMeasure.h"
#include "SyntheticSignal.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(synth::Mic)
Q_DECLARE_METATYPE(SyncVerdict)

namespace {

constexpr double kRate = 48000;

class SynthReader : public SampleReader
{
public:
    SynthReader(quint64 scene, const synth::Mic& mic, qint64 count) : m_track(scene, mic), m_count(count) {}
    qint64 SampleCount() const override { return m_count; }
    bool Read(qint64 start, qint64 count, float* out) override
    {
        if (start < 0 || count < 0 || start + count > m_count)
            return false;
        m_track.render(start, count, out);
        return true;
    }

private:
    synth::Track m_track;
    qint64 m_count;
};

synth::Mic mic(double cutoff, QVector<synth::Path> paths, double snrDb, quint64 noiseSeed)
{
    return synth::mic(cutoff, std::move(paths), snrDb, noiseSeed, 24);
}

OffsetMeasurement measure(quint64 sceneN, const synth::Mic& n, quint64 sceneM, const synth::Mic& m, double seconds,
                          double rate = kRate)
{
    const qint64 count = qint64(seconds * kRate);
    SynthReader track(sceneN, n, count), against(sceneM, m, count);
    OffsetOptions options;
    options.sampleRate = rate;
    OffsetMeasurement result;
    if (!MeasureOffset(track, against, options, &result))
        qFatal("generated samples could not be read");
    return result;
}

} // namespace

class TestOffset : public QObject
{
    Q_OBJECT

private slots:
    void windowPlan_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QList<qint64>>("starts");
        QTest::addColumn<qint64>("length");
        // Window length 400, at most 9 windows.
        QTest::newRow("empty take") << qint64(0) << QList<qint64>{} << qint64(0);
        QTest::newRow("short take: one window over all") << qint64(1199) << QList<qint64>{0} << qint64(1199);
        QTest::newRow("exactly three windows") << qint64(1200) << QList<qint64>{0, 400, 800} << qint64(400);
        QTest::newRow("three, last ends at the last sample") << qint64(1599) << QList<qint64>{0, 599, 1199} << qint64(400);
        QTest::newRow("long take: nine windows")
            << qint64(40000) << QList<qint64>{0, 4950, 9900, 14850, 19800, 24750, 29700, 34650, 39600} << qint64(400);
    }
    void windowPlan()
    {
        QFETCH(qint64, total);
        QFETCH(qint64, length);
        QList<qint64> starts;
        for (const auto& w : PlanWindows(total, 400, 9)) {
            starts << w.first;
            QCOMPARE(w.second, length);
        }
        QTEST(starts, "starts");
    }

    // 35 s: three windows. Matched pairs give the offset within `tolerance`
    // samples in every window; unrelated ones never a confident wrong offset.
    void offsets_data()
    {
        QTest::addColumn<quint64>("sceneN");
        QTest::addColumn<synth::Mic>("n");
        QTest::addColumn<quint64>("sceneM");
        QTest::addColumn<synth::Mic>("m");
        QTest::addColumn<double>("truth");
        QTest::addColumn<double>("tolerance");
        QTest::addColumn<SyncVerdict>("verdict");
        for (int d : {-2000, -1920, -1, 0, 1, 7, 1920, 2000})   // the same signal, only delayed
            QTest::addRow("pure delay %d", d) << quint64(7) << mic(0.45, {{double(d), 1}}, 1000, 1) << quint64(7)
                                              << mic(0.45, {{0, 1}}, 1000, 1) << double(d) << 1.0
                                              << (std::abs(d) > 480 ? SyncVerdict::Offset : SyncVerdict::InSync);
        // Two microphones with their own filters, reflections and noise: within 0.2 ms.
        const synth::Mic lav = mic(0.15, {{0, 1}, {1, -0.6}}, 0, 2);
        const double ms02 = 0.2e-3 * kRate;
        QTest::newRow("0 dB each, 37 samples late") << quint64(11) << mic(0.35, {{37, 1}}, 0, 1) << quint64(11) << lav
                                                    << 37.0 << ms02 << SyncVerdict::InSync;
        QTest::newRow("0 dB, wall reflection, 20.8 ms early") << quint64(11) << mic(0.3, {{-1000.4, 1}, {-870.4, 0.5}}, 0, 3)
                                                              << quint64(11) << lav << -1000.4 << ms02 << SyncVerdict::Offset;
        QTest::newRow("3 dB, opposite polarity, 2 frames late") << quint64(11) << mic(0.4, {{3840.5, -1}}, 3, 4) << quint64(11)
                                                                << mic(0.2, {{0, 1}}, 3, 5) << 3840.5 << ms02 << SyncVerdict::Offset;
        QTest::newRow("0 dB, 11 ms late") << quint64(11) << mic(0.25, {{528, 1}}, 0, 6) << quint64(11) << lav << 528.0 << ms02
                                          << SyncVerdict::Offset;
        QTest::newRow("6 dB, 9 ms early") << quint64(11) << mic(0.25, {{-432.3, 1}}, 6, 7) << quint64(11) << lav << -432.3
                                          << ms02 << SyncVerdict::InSync;
        const synth::Mic plain = mic(0.3, {{0, 1}}, 20, 1);
        synth::Mic quiet = mic(1.0, {{0, 1}}, 80, 3), quiet2 = quiet, zero = plain;
        quiet.bits = quiet2.bits = 16;
        quiet2.noiseSeed = 4;
        zero.level = 0;
        QTest::newRow("two independent noises") << quint64(1) << plain << quint64(2) << mic(0.3, {{0, 1}}, 20, 2) << 0.0 << 0.0
                                                << SyncVerdict::NoMatch;
        QTest::newRow("near-silence at 16 bits") << quint64(0) << quiet << quint64(0) << quiet2 << 0.0 << 0.0 << SyncVerdict::NoMatch;
        QTest::newRow("digital zero against a signal") << quint64(1) << zero << quint64(1) << plain << 0.0 << 0.0
                                                       << SyncVerdict::NoMatch;
        QTest::newRow("digital zero on both") << quint64(1) << zero << quint64(1) << zero << 0.0 << 0.0 << SyncVerdict::NoMatch;
    }
    void offsets()
    {
        QFETCH(quint64, sceneN);
        QFETCH(synth::Mic, n);
        QFETCH(quint64, sceneM);
        QFETCH(synth::Mic, m);
        QFETCH(double, truth);
        QFETCH(double, tolerance);
        const OffsetMeasurement r = measure(sceneN, n, sceneM, m, 35);
        QTEST(r.verdict, "verdict");
        QCOMPARE(r.windows.size(), 3);
        if (r.verdict == SyncVerdict::NoMatch) {
            QVERIFY(!r.offsetSamples && !r.driftSamples);
            for (const OffsetWindow& w : r.windows)
                QVERIFY(!w.offsetSamples && w.confidence < OffsetOptions().minConfidence);
            return;
        }
        QVERIFY2(r.offsetSamples && std::fabs(*r.offsetSamples - truth) <= tolerance, qPrintable(QString::number(r.offsetSamples.value_or(-1))));
        for (const OffsetWindow& w : r.windows)
            QVERIFY(w.offsetSamples && std::fabs(*w.offsetSamples - truth) <= tolerance);
        QVERIFY(std::fabs(r.driftSamples.value_or(99)) <= tolerance);
    }

    // A recorder whose clock runs 50 ppm fast: 30 ms over ten minutes.
    void drift()
    {
        synth::Mic n = mic(0.3, {{0, 1}}, 10, 1);
        n.ppm = 50;
        const OffsetMeasurement r = measure(5, n, 5, mic(0.2, {{0, 1}}, 10, 2), 600);
        QCOMPARE(r.verdict, SyncVerdict::Drift);
        QCOMPARE(r.windows.size(), 9);
        const double oneMs = kRate / 1000;
        for (const OffsetWindow& w : r.windows) {
            const double truth = 50e-6 * (double(w.startSample) + double(w.length) / 2);
            QVERIFY2(w.offsetSamples && std::fabs(*w.offsetSamples - truth) <= oneMs, qPrintable(QString::number(truth)));
        }
        const double truthDrift = 50e-6 * double(r.windows.last().startSample - r.windows.first().startSample);
        QVERIFY(std::fabs(r.driftSamples.value_or(0) - truthDrift) <= oneMs);
    }

    // A file claiming a rate of 10^9 samples per second must not make one
    // window of the whole take: windows stay bounded, the offset is still found.
    void absurdRateKeepsWindowsBounded()
    {
        const OffsetMeasurement r = measure(3, mic(1.0, {{25, 1}}, 10, 1), 3, mic(1.0, {{0, 1}}, 10, 2), 9e6 / kRate, 1e9);
        QCOMPARE(r.windows.size(), 3);
        for (const OffsetWindow& w : r.windows)
            QCOMPARE(w.length, OffsetOptions::kMaxWindowSamples / 3);
        QCOMPARE(r.windows.last().startSample + r.windows.last().length, qint64(9000000));
        QVERIFY(std::fabs(r.offsetSamples.value_or(0) - 25.0) < 0.01);
    }
};

QTEST_GUILESS_MAIN(TestOffset)
#include "tst_offset.moc"
