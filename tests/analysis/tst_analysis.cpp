// SPDX-License-Identifier: GPL-3.0-or-later
// Offset and drift of generated tracks, frame rates, sonalign-cli verify (its refusals: tst_cli_commands).

#include "OffsetMeasure.h"
#include "SyntheticSignal.h"
#include "TakeFrameRate.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>

Q_DECLARE_METATYPE(synth::Mic)
Q_DECLARE_METATYPE(SyncVerdict)
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

constexpr double kRate = 48000;
constexpr qint64 kFrames = 12 * 48000;   // a verified take: under three windows, so one window over it

// A track read as the measure reads files, samples computed on demand.
class SynthReader : public SampleReader
{
public:
    SynthReader(quint64 scene, const synth::Mic& mic, qint64 count) : m_track(scene, mic), m_count(count) {}
    qint64 SampleCount() const override { return m_count; }
    bool Read(qint64 start, qint64 count, float* out) override
    {
        return start >= 0 && count >= 0 && start + count <= m_count && (m_track.render(start, count, out), true);
    }

private:
    synth::Track m_track;
    qint64 m_count;
};

synth::Mic mic(double cutoff, QVector<synth::Path> paths, double snrDb, quint64 noiseSeed)
{
    return synth::mic(cutoff, std::move(paths), snrDb, noiseSeed, 24);
}

OffsetMeasurement measure(quint64 sceneN, const synth::Mic& n, quint64 sceneM, const synth::Mic& m, qint64 count, double rate = kRate)
{
    SynthReader track(sceneN, n, count), against(sceneM, m, count);
    OffsetOptions options;
    options.sampleRate = rate;
    OffsetMeasurement result;
    if (!MeasureOffset(track, against, options, &result))
        qFatal("generated samples could not be read");
    return result;
}

// Track 1: the lavalier; track 2: the boom, `delay` samples later; track 3: another scene.
bool writeTake(const QString& folder, const QString& root, const RecorderFileSpec& base, double delay)
{
    return synth::writeTake(folder, root, base, {synth::Track(3, synth::mic(0.2, {{0, 1}}, 6, 1)), synth::Track(3, synth::mic(0.35, {{delay, 1}}, 6, 2)),
                                                 synth::Track(4, synth::mic(0.3, {{0, 1}}, 6, 3))}, kFrames);
}

testsupport::ProcessResult verify(const QString& folder, const QString& line)
{
    return testsupport::run(testsupport::cliPath(), QStringList{"verify", folder} + line.split(' ', Qt::SkipEmptyParts));
}

} // namespace

class TestAnalysis : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;   // the takes verify reads

private slots:
    // Takes to verify: the frame rate in the film chunk, bext, iXML or nowhere; 16, 24 and 32 bits.
    void initTestCase()
    {
        RecorderFileSpec film, speed, ixml, poly, bits16, bits32;   // film chunk "25.00"; bext "aSPEED=024.000-ND"; iXML only
        speed.withFilm = ixml.withFilm = false;
        speed.frameRateCode = "24.00";
        ixml.frameRateCode = "";
        speed.ixml.timecodeRate = "Unknown";
        ixml.ixml.timecodeRate = "30000/1001";
        RecorderFileSpec none = speed;   // no rate anywhere
        none.frameRateCode = "";
        poly.channels = 2;
        bits16.bitsPerSample = 16;
        bits32.bitsPerSample = 32;
        QVERIFY(writeTake(m_dir.path(), "AA0001", film, 960) && writeTake(m_dir.path(), "AA0002", speed, -96.5)
                && writeTake(m_dir.path(), "AA0003", ixml, 2002) && writeTake(m_dir.path(), "AA0004", none, 4800)
                && writeTake(m_dir.path(), "AA0005", bits16, 960) && writeTake(m_dir.path(), "AA0006", bits32, 960)
                && writeTake(m_dir.path(), "AA0007", film, 960) && RecorderFileWriter::write(m_dir.filePath("BB0001.WAV"), poly));
        // A data chunk that claims 3 s more than the file holds is read up to the file's end.
        QVERIFY(QFile::resize(m_dir.filePath("AA0007_02.WAV"), QFileInfo(m_dir.filePath("AA0007_02.WAV")).size() - 3 * 48000 * 3));
    }

    void frameRates_data()
    {
        QTest::addColumn<int>("place");   // 0 film code, 1 bext speed, 2 iXML rate
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<double>>("expected");
        const double ntsc24 = 24000.0 / 1001.0, ntsc30 = 30000.0 / 1001.0;
        const auto row = [](int place, const char* text, std::optional<double> rate) {
            QTest::addRow("%s \"%s\"", place == 0 ? "film" : place == 1 ? "speed" : "iXML", text) << place << QString(text) << rate;
        };
        row(0, "25.00", 25); row(0, "29.97", ntsc30); row(0, "24.DRIF2", ntsc24); row(0, "30.DRIFT", ntsc30); row(0, "23.976", ntsc24);
        row(0, "48.00", 48); row(0, "", std::nullopt); row(0, "AB.CD", std::nullopt); row(1, "025.000-ND", 25); row(1, "023.976-ND", ntsc24);
        row(1, "029.970-DF", ntsc30); row(1, "000.000-ND", std::nullopt); row(1, "", std::nullopt); row(2, "25/1", 25); row(2, " 30000/1001 ", ntsc30);
        row(2, "Unknown", std::nullopt); row(2, "25/0", std::nullopt); row(2, "25", std::nullopt);
    }
    void frameRates()
    {
        QFETCH(int, place);
        QFETCH(QString, text);
        QFETCH(std::optional<double>, expected);
        const std::optional<double> got = place == 0 ? FrameRateOfFilmCode(text.toLatin1())
                                          : place == 1 ? FrameRateOfSpeedLine(text) : FrameRateOfIxmlRate(text);
        QCOMPARE(bool(got), bool(expected));
        QVERIFY2(!got || qAbs(*got - *expected) < 1e-9, qPrintable(QString::number(got.value_or(0), 'g', 12)));
    }

    // The offset within `tolerance` in every window; never a confident offset of unrelated tracks.
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
        const double ms = 0.2e-3 * kRate;
        const auto pair = [&](const char* name, const synth::Mic& n, const synth::Mic& m, double truth, SyncVerdict verdict) {
            QTest::newRow(name) << quint64(11) << n << quint64(11) << m << truth << ms << verdict;
        };
        pair("0 dB each, 37 samples late", mic(0.35, {{37, 1}}, 0, 1), lav, 37, SyncVerdict::InSync);
        pair("0 dB, wall reflection, 20.8 ms early", mic(0.3, {{-1000.4, 1}, {-870.4, 0.5}}, 0, 3), lav, -1000.4, SyncVerdict::Offset);
        pair("3 dB, opposite polarity, 2 frames late", mic(0.4, {{3840.5, -1}}, 3, 4), mic(0.2, {{0, 1}}, 3, 5), 3840.5, SyncVerdict::Offset);
        pair("0 dB, 11 ms late", mic(0.25, {{528, 1}}, 0, 6), lav, 528, SyncVerdict::Offset);
        pair("6 dB, 9 ms early", mic(0.25, {{-432.3, 1}}, 6, 7), lav, -432.3, SyncVerdict::InSync);
        synth::Mic fast = mic(0.3, {{0, 1}}, 10, 1);   // a clock 50 ppm fast: 30 ms over ten minutes, within 1 ms
        fast.ppm = 50;
        QTest::newRow("drift") << quint64(5) << fast << quint64(5) << mic(0.2, {{0, 1}}, 10, 2) << 0.0 << kRate / 1000 << SyncVerdict::Drift;
        const synth::Mic plain = mic(0.3, {{0, 1}}, 20, 1);
        synth::Mic quiet = mic(1.0, {{0, 1}}, 80, 3), quiet2 = quiet, zero = plain;
        quiet.bits = quiet2.bits = 16;
        quiet2.noiseSeed = 4;
        zero.level = 0;
        const auto none = [](const char* name, quint64 sceneN, const synth::Mic& n, quint64 sceneM, const synth::Mic& m) {
            QTest::newRow(name) << sceneN << n << sceneM << m << 0.0 << 0.0 << SyncVerdict::NoMatch;
        };
        none("two independent noises", 1, plain, 2, mic(0.3, {{0, 1}}, 20, 2));
        none("near-silence at 16 bits", 0, quiet, 0, quiet2);
        none("digital zero against a signal", 1, zero, 1, plain);
        none("digital zero on both", 1, zero, 1, zero);
    }
    void offsets()
    {
        QFETCH(quint64, sceneN);
        QFETCH(synth::Mic, n);
        QFETCH(quint64, sceneM);
        QFETCH(synth::Mic, m);
        QFETCH(double, truth);
        QFETCH(double, tolerance);
        const bool drifts = n.ppm != 0;   // ten minutes, nine windows; otherwise 35 s, three
        const OffsetMeasurement r = measure(sceneN, n, sceneM, m, qint64((drifts ? 600 : 35) * kRate));
        QTEST(r.verdict, "verdict");
        QCOMPARE(r.windows.size(), drifts ? 9 : 3);
        const bool matched = r.verdict != SyncVerdict::NoMatch;
        const auto at = [&](const OffsetWindow& w) { return truth + n.ppm * 1e-6 * double(w.startSample + w.length / 2); };
        QCOMPARE(bool(r.offsetSamples) + bool(r.driftSamples), matched ? 2 : 0);
        QVERIFY2(!matched || std::fabs(*r.offsetSamples - at(r.windows.at(r.windows.size() / 2))) <= tolerance,
                 qPrintable(QString::number(r.offsetSamples.value_or(0))));
        QVERIFY(!matched || std::fabs(*r.driftSamples - n.ppm * 1e-6 * double(r.windows.last().startSample - r.windows.first().startSample)) <= tolerance);
        for (const OffsetWindow& w : r.windows)
            QVERIFY(matched ? w.offsetSamples && std::fabs(*w.offsetSamples - at(w)) <= tolerance
                            : !w.offsetSamples && w.confidence < OffsetOptions().minConfidence);
    }

    // A claimed rate of 10^9/s must not make one window of the whole take: windows stay bounded; none for an empty take.
    void absurdRateKeepsWindowsBounded()
    {
        const OffsetMeasurement r = measure(3, mic(1.0, {{25, 1}}, 10, 1), 3, mic(1.0, {{0, 1}}, 10, 2), 9000000, 1e9);
        QCOMPARE(r.windows.size(), 3);
        for (const OffsetWindow& w : r.windows)
            QCOMPARE(w.length, OffsetOptions::kMaxWindowSamples / 3);
        QCOMPARE(r.windows.last().startSample + r.windows.last().length, qint64(9000000));
        QVERIFY(PlanWindows(0, 400, 9).isEmpty() && PlanWindows(1199, 400, 9) == (QVector<QPair<qint64, qint64>>{{0, 1199}}));
        QVERIFY(std::fabs(r.offsetSamples.value_or(0) - 25.0) < 0.01);
    }

    void verifyJson_data()
    {
        QTest::addColumn<QString>("fileId");
        QTest::addColumn<double>("delay");   // samples; offset_ms is delay / 48
        QTest::addColumn<QJsonValue>("offsetFrames");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<int>("length");
        QTest::newRow("film code 25") << "AA0001" << 960.0 << QJsonValue(0.5) << "offset" << int(kFrames);
        QTest::newRow("bext speed 24") << "AA0002" << -96.5 << QJsonValue(-0.0482) << "in_sync" << int(kFrames);
        QTest::newRow("iXML rate 29.97") << "AA0003" << 2002.0 << QJsonValue(1.25) << "offset" << int(kFrames);
        QTest::newRow("no rate: no frames") << "AA0004" << 4800.0 << QJsonValue() << "offset" << int(kFrames);
        QTest::newRow("16 bits") << "AA0005" << 960.0 << QJsonValue(0.5) << "offset" << int(kFrames);
        QTest::newRow("32 bits") << "AA0006" << 960.0 << QJsonValue(0.5) << "offset" << int(kFrames);
        QTest::newRow("data chunk longer than the file") << "AA0007" << 960.0 << QJsonValue(0.5) << "offset" << int(kFrames - 3 * 48000);
    }
    void verifyJson()
    {
        QFETCH(QString, fileId);
        QFETCH(double, delay);
        QFETCH(QJsonValue, offsetFrames);
        const auto r = verify(m_dir.path(), "--track 2 --json " + fileId);
        QCOMPARE(r.exitCode, 0);
        const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(rows.size(), 1);
        const QJsonObject o = rows.at(0).toObject(), w = o["windows"].toArray().at(0).toObject();
        QCOMPARE(o["file_id"].toString(), fileId);
        QTEST(o["verdict"].toString(), "verdict");
        QCOMPARE(QList<int>({o["track"].toInt(), o["against"].toInt(), o["drift_samples"].toInt(-1), o["windows"].toArray().size()}), QList<int>({2, 1, 0, 1}));
        QVERIFY2(qAbs(o["offset_samples"].toInt() - delay) <= 1 && qAbs(o["offset_ms"].toDouble() - delay / 48) <= 0.03, r.out.constData());
        QCOMPARE(o["offset_frames"].isNull(), offsetFrames.isNull());
        QVERIFY(qAbs(o["offset_frames"].toDouble() - offsetFrames.toDouble()) <= 0.001 && o["confidence"].toDouble() >= 12);
        QFETCH(int, length);
        QCOMPARE(QList<int>({w["start_sample"].toInt(-1), w["length"].toInt(), w["offset_samples"].toInt()}), QList<int>({0, length, o["offset_samples"].toInt()}));
    }

    void verifyText_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("err");
        // 20 ms is within a 25 ms tolerance; track 3 (another scene) matches nothing.
        QTest::newRow("wider tolerance") << "--track 2 --tolerance-ms 25 AA0001"
                                         << "^AA0001\ttrack 2 against 1\tin_sync\toffset 20(\\.0\\d*)? ms \\(960 samples, 0\\.5\\d* frames\\)"
                                            "\tdrift 0 ms\tconfidence \\d+(\\.\\d)?\n$" << "";
        QString all = "^";
        for (int i = 1; i <= 7; ++i)
            all += QStringLiteral("AA000%1\ttrack 2 against 3\tno_match\tconfidence \\d+(\\.\\d)?\n").arg(i);
        QTest::newRow("whole folder in table order, poly named") << "--track 2 --against 3" << all + "$"
                                                                 << "sonalign-cli verify: BB0001\nPoly takes are not verified.\n";
    }
    void verifyText()
    {
        QFETCH(QString, args);
        QFETCH(QString, pattern);
        const auto r = verify(m_dir.path(), args);
        QCOMPARE(r.exitCode, 0);
        QTEST(QString::fromUtf8(r.err), "err");
        QVERIFY2(QString::fromUtf8(r.out).contains(QRegularExpression(pattern)), r.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
